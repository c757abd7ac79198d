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
