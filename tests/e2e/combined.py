"""Makes combined files for the end-to-end tests: the built stub, an
optional settings block and a ZIP archive written with Python's zipfile."""
import io
import os
import struct
import sys
import zipfile

from harness import STUB

sys.path.append(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
from zip_reading import LOCAL_HEADER, local_headers, zip_decrypt  # noqa: E402

SETTINGS_BLOCK_SIZE = 256


def settings_block(flags, title="", default_dir="", run_command=""):
    texts = [t.encode("cp949") for t in (title, default_dir, run_command)]
    block = b"MPU" + bytes([flags]) + bytes(len(t) for t in texts) + b"".join(texts)
    assert len(block) <= SETTINGS_BLOCK_SIZE, "texts too long for the block"
    return block + bytes(SETTINGS_BLOCK_SIZE - len(block))


def zip_archive(members):
    """members: {name: bytes}"""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as archive:
        for name, data in members.items():
            archive.writestr(name, data)
    return buffer.getvalue()


def write_combined(path, block=None, archive=b"", trailer=b""):
    with open(STUB, "rb") as f:
        stub = f.read()
    with open(path, "wb") as f:
        f.write(stub + (block or b"") + archive + trailer)
    return path


def with_wrong_crc(archive, name):
    """The archive with the CRC in `name`'s local header off by one."""
    data = bytearray(archive)
    for member in local_headers(archive, archive.find(LOCAL_HEADER))[0]:
        if member["name"] == name.encode():
            struct.pack_into("<I", data, member["offset"] + 14, member["crc"] ^ 1)
            return bytes(data)
    raise ValueError(name)


def wrong_passwords(archive, count, pass_the_check=False):
    """Passwords that every encrypted member of `archive` refuses. A wrong
    password passes the cipher's one-byte check once in 256 tries, so
    tests that need a refusal pick theirs with the archive in hand; with
    `pass_the_check`, wrong passwords that every member's check lets
    through instead."""
    headers = [(archive[m["data"]:m["data"] + 12], m["time"] >> 8 if m["flags"] & 8 else m["crc"] >> 24)
               for m in local_headers(archive, archive.find(LOCAL_HEADER))[0] if m["flags"] & 1]
    found = []
    candidate = 0
    while len(found) < count:
        password = f"wrong{candidate}".encode()
        passes = [zip_decrypt(h, password)[11] == c for h, c in headers]
        if all(passes) if pass_the_check else not any(passes):
            found.append(password.decode())
        candidate += 1
    return found
