"""Shared helpers of the doromi tool tests: where the tool and the stub
are, running the tool, and small input trees with Korean names."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest
import zipfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
sys.path.append(os.path.join(ROOT, "tests"))
from fixed_values import ARCHIVE_OFFSET, STUB_SIZE  # noqa: E402,F401  (for the tests)
from fixed_values import SETTINGS_BLOCK_SIZE as BLOCK_SIZE  # noqa: E402
from zip_reading import local_headers, zip_decrypt  # noqa: E402,F401  (for the tests)
from file_trees import tree, write_tree  # noqa: E402
OUT_DIR = os.environ.get("DOROMI_OUT_DIR", os.path.join(ROOT, "build", "out"))
DOROMI = os.path.join(OUT_DIR, "doromi")
STUB = os.path.join(OUT_DIR, "doromi-sfx.exe")

# Fixed so that the DOS times the tool writes (local time) are known.
os.environ["TZ"] = "Asia/Seoul"
time.tzset()
MTIME = time.mktime((2021, 3, 4, 5, 6, 7, 0, 0, -1))  # odd second: rounds up to :08


def compile_io_shim(path):
    """Builds tests/tools/io_shim.c (faults injected with LD_PRELOAD) at `path`."""
    subprocess.run(["gcc", "-shared", "-fPIC", "-o", path, os.path.join(os.path.dirname(__file__), "io_shim.c"),
                    "-ldl"], check=True)


def build_io_shim(test_class):
    """The shim for `test_class`'s cases as `test_class.shim`, removed after them."""
    test_class.shim = os.path.join(tempfile.gettempdir(), f"doromi-io-shim-{os.getpid()}.so")
    compile_io_shim(test_class.shim)
    test_class.addClassCleanup(os.remove, test_class.shim)


def run(*args, check=True):
    result = subprocess.run([DOROMI, *args], capture_output=True)
    result.out = result.stdout.decode("utf-8")
    result.err = result.stderr.decode("utf-8")
    if check and result.returncode != 0:
        raise AssertionError(f"doromi {' '.join(args)} failed ({result.returncode}): {result.err}")
    return result


def make_tree(root, files):
    """files: {relative UTF-8 path: bytes}; a path ending in "/" is a folder.
    Everything written gets the time MTIME."""
    write_tree(root, files)
    for dirpath, dirnames, filenames in os.walk(root, topdown=False):
        for name in dirnames + filenames:
            os.utime(os.path.join(dirpath, name), (MTIME, MTIME))
    os.utime(root, (MTIME, MTIME))
    return root


def sample_files():
    return {
        "문서/": None,
        "문서/안내.txt": "한글 안내문입니다.\n".encode("utf-8") * 200,
        "문서/빈 파일.txt": b"",
        "자료/그림.bin": os.urandom(3000),  # does not shrink
        "readme.txt": b"plain ascii text " * 100,
    }


def write_zip(path, members):
    """An archive of (name, data) made by zipfile; a name given as bytes is
    stored as those bytes, unmarked (no flag bit 11, no Unicode Path field),
    as tools write names in their own code page."""
    def stand_in(i, length):
        return ("~%d" % i).ljust(length, "~").encode()
    with zipfile.ZipFile(path, "w") as z:
        for i, (name, data) in enumerate(members):
            z.writestr(name if isinstance(name, str) else stand_in(i, len(name)).decode(), data)
    with open(path, "rb") as f:
        data = f.read()
    for i, (name, _) in enumerate(members):
        if isinstance(name, bytes):
            data = data.replace(stand_in(i, len(name)), name)
    with open(path, "wb") as f:
        f.write(data)
    return path


def extra_fields(extra):
    fields = {}
    i = 0
    while i + 4 <= len(extra):
        tag, length = struct.unpack_from("<HH", extra, i)
        fields[tag] = extra[i + 4:i + 4 + length]
        i += 4 + length
    return fields


class ToolTestCase(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="doromi-tool-")
        self.addCleanup(shutil.rmtree, self.work)

    def path(self, *parts):
        return os.path.join(self.work, *parts)

    def tree(self, files=None, name="입력"):
        return make_tree(self.path(name), files if files is not None else sample_files())

    def build(self, *args, out="out.exe"):
        output = self.path(out)
        run("build", "-o", output, *args)
        with open(output, "rb") as f:
            return f.read()

    def assertRefused(self, args, *fragments, out="out.exe"):
        """The build fails with a message holding `fragments` and leaves no file behind."""
        before = set(os.listdir(self.work))
        result = run("build", "-o", self.path(out), *args, check=False)
        self.assertNotEqual(result.returncode, 0, result.out)
        for fragment in fragments:
            self.assertIn(fragment, result.err)
        self.assertEqual(len(result.err.strip().splitlines()), 1, result.err)
        self.assertEqual(set(os.listdir(self.work)), before, "the refused build left files behind")
        return result


def tree_contents(root):
    """{relative path: bytes, or None for a folder} of everything below root."""
    return tree(root, directories=True)
