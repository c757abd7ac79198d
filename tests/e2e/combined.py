"""Makes combined files for the end-to-end tests: the built stub, an
optional settings block and a ZIP archive written with Python's zipfile."""
import io
import zipfile

from harness import STUB

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


def _crc_table():
    table = []
    for n in range(256):
        c = n
        for _ in range(8):
            c = (c >> 1) ^ 0xEDB88320 if c & 1 else c >> 1
        table.append(c)
    return table


_CRC_TABLE = _crc_table()


def _check_byte_matches(header, check, password):
    """Whether `password` decrypts a 12-byte traditional encryption header
    to the expected check byte."""
    keys = [0x12345678, 0x23456789, 0x34567890]

    def update(byte):
        keys[0] = _CRC_TABLE[(keys[0] ^ byte) & 0xFF] ^ (keys[0] >> 8)
        keys[1] = ((keys[1] + (keys[0] & 0xFF)) * 134775813 + 1) & 0xFFFFFFFF
        keys[2] = _CRC_TABLE[(keys[2] ^ (keys[1] >> 24)) & 0xFF] ^ (keys[2] >> 8)

    for byte in password:
        update(byte)
    plain = 0
    for byte in header:
        k = (keys[2] | 2) & 0xFFFF
        plain = byte ^ ((k * (k ^ 1)) >> 8) & 0xFF
        update(plain)
    return plain == check


def wrong_passwords(archive, count, pass_the_check=False):
    """Passwords that every encrypted member of `archive` refuses. A wrong
    password passes the cipher's one-byte check once in 256 tries, so
    tests that need a refusal pick theirs with the archive in hand; with
    `pass_the_check`, wrong passwords that every member's check lets
    through instead."""
    import struct
    headers = []
    at = archive.find(b"PK\x03\x04")
    while at >= 0:
        flags, _, dos_time, _, crc, size = struct.unpack_from("<HHHHII", archive, at + 6)
        name_length, extra_length = struct.unpack_from("<HH", archive, at + 26)
        data = at + 30 + name_length + extra_length
        if flags & 1:
            headers.append((archive[data:data + 12], dos_time >> 8 if flags & 8 else crc >> 24))
        at = archive.find(b"PK\x03\x04", data + size)
    found = []
    candidate = 0
    while len(found) < count:
        password = f"wrong{candidate}".encode()
        passes = [_check_byte_matches(h, c, password) for h, c in headers]
        if all(passes) if pass_the_check else not any(passes):
            found.append(password.decode())
        candidate += 1
    return found
