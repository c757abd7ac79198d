"""`doromi build --zip`: archives of other tools appended as they are, and
archives the stub could not walk refused with their reason."""
import io
import os
import struct
import subprocess
import sys
import unittest
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import ARCHIVE_OFFSET, ToolTestCase, run, write_zip  # noqa: E402
from zip_reading import NonSeekable  # noqa: E402


class AcceptedArchivesTest(ToolTestCase):
    def made_by(self, tool):
        tree = self.tree({"문서/안내.txt": "안녕".encode() * 500, "a.bin": os.urandom(700)})
        archive = self.path(f"{tool}.zip")
        if tool == "zip":
            subprocess.run(["zip", "-qr", archive, "."], cwd=tree, check=True)
        elif tool == "7z":
            subprocess.run(["7z", "a", "-tzip", "-bd", archive, "."], cwd=tree, check=True, capture_output=True)
        else:
            with zipfile.ZipFile(archive, "w", zipfile.ZIP_DEFLATED) as z:
                z.writestr("문서/안내.txt", "안녕".encode() * 500)
                z.writestr("a.bin", os.urandom(700))
        return archive

    def test_archives_of_zip_7z_and_zipfile_are_appended_unchanged(self):
        for tool in ("zip", "7z", "zipfile"):
            with self.subTest(tool):
                archive = self.made_by(tool)
                result = run("build", "-o", self.path(f"{tool}.exe"), "--zip", archive)
                with open(archive, "rb") as f:
                    original = f.read()
                with open(self.path(f"{tool}.exe"), "rb") as f:
                    combined = f.read()
                self.assertEqual(combined[ARCHIVE_OFFSET:], original)
                self.assertIn("members", result.out)

    def test_encrypted_zip_archive_is_accepted(self):
        tree = self.tree({"a.txt": b"secret " * 100})
        archive = self.path("e.zip")
        subprocess.run(["zip", "-qr", "-P", "pw", archive, "."], cwd=tree, check=True)
        run("build", "-o", self.path("e.exe"), "--zip", archive)
        self.assertTrue(os.path.exists(self.path("e.exe")))

    # UTF-8 names pass whatever code page 949 holds; a name that is neither
    # UTF-8 nor code page 949, or longer than 1,024 UTF-16 units, refuses the
    # archive, or with --allow-refused-names is warned about, shown with "?"
    # or cut with "…".
    def test_names_pass_unless_they_cannot_be_read_or_are_too_long(self):
        cases = [("문서/안내.txt", "문서/안내.txt", None), ("전각／이름.txt", "전각／이름.txt", None),
                 ("가격₩.txt", "가격₩.txt", None), ("café😀.txt", "café😀.txt", None),
                 (b"bad\xff\xfe.txt", "bad??.txt", "not valid in code page 949"),
                 ("a/" * 549 + "aa", "a/" * 511 + "a…", "longer than the 1024 characters (UTF-16 units)")]
        for name, listed, refusal in cases:
            with self.subTest(listed[:12]):
                archive = write_zip(self.path("n.zip"), [(name, b"x")])
                result = run("build", "-o", self.path("n.exe"), "--zip", archive, check=False)
                self.assertEqual(result.returncode, 1 if refusal else 0, result.err)
                if refusal:
                    self.assertIn(listed, result.err)
                    self.assertIn(refusal, result.err)
                    result = run("build", "-o", self.path("n.exe"), "--zip", archive, "--allow-refused-names")
                    self.assertIn("warning: the stub will refuse", result.err)
                info = run("info", self.path("n.exe"), check=False)
                self.assertEqual(info.returncode, 1 if refusal else 0)
                self.assertIn(listed, info.out)


def zipped(*members, compression=zipfile.ZIP_STORED):
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", compression) as z:
        for name, data in members:
            z.writestr(name, data)
    return buffer.getvalue()


def with_data_descriptors():
    """An empty stored member, whose descriptor follows its header at once
    (the stub steps over it), then members whose data hide their size."""
    stream = NonSeekable()
    with zipfile.ZipFile(stream, "w", zipfile.ZIP_DEFLATED) as z:
        z.writestr("empty.txt", b"", compress_type=zipfile.ZIP_STORED)
        z.writestr("first.txt", b"x" * 1000)
        z.writestr("second.txt", b"y" * 1000)
    return bytes(stream.data)


def with_zip64_member():
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w") as z:
        z.writestr("small.txt", b"fine")
        with z.open("big.txt", "w", force_zip64=True) as f:
            f.write(b"abc")
    return buffer.getvalue()


def with_placeholder_sizes_only():
    """A stored member whose local sizes are ZIP64 placeholders with no
    ZIP64 field to take them from."""
    data = bytearray(zipped(("small.txt", b"fine"), ("lost.txt", b"where")))
    second = data.index(b"PK\x03\x04", 4)
    data[second + 18:second + 26] = b"\xff" * 8
    return bytes(data)


def with_unsigned_descriptors():
    """Stored members with their sizes in their local headers and flag bit
    3, each followed by a data descriptor without its signature."""
    members, directory = b"", b""
    for name, data in ((b"a.txt", b"hello"), (b"b.txt", b"world")):
        fields = struct.pack("<HHHHHIIIHH", 20, 8, 0, 0, 0x5A21, zlib.crc32(data), len(data), len(data), len(name), 0)
        directory += b"PK\x01\x02" + struct.pack("<H", 20) + fields + struct.pack("<HHHII", 0, 0, 0, 0, len(members)) + name
        members += b"PK\x03\x04" + fields + name + data + struct.pack("<III", zlib.crc32(data), len(data), len(data))
    return members + directory + b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, 2, 2, len(directory), len(members), 0)


class RefusedArchivesTest(ToolTestCase):
    def write_zip(self, name, data):
        path = self.path(name)
        with open(path, "wb") as f:
            f.write(data)
        return path

    # --no-rewrite refuses what a rewrite would otherwise mend.
    def test_with_no_rewrite_archives_the_stub_could_not_walk_are_refused_with_their_reason(self):
        small = zipped(("a.txt", b"aaaa"))
        cut = 30 + len("a.txt") + 4
        cases = {
            "data descriptor with zero sizes": (with_data_descriptors(), 'member 2 ("first.txt")', "flag bit 3",
                                                "zero in its local header"),
            "zip64 placeholders without sizes": (with_placeholder_sizes_only(), 'member 2 ("lost.txt")',
                                                 "ZIP64 placeholders"),
            "other methods": (zipped(("b.txt", b"bz" * 100), compression=zipfile.ZIP_BZIP2), "compression method 12"),
            "bytes between members": (small[:cut] + b"GARBAGE!" + small[cut:], '"a.txt"', "offset 39",
                                      "not a ZIP header"),
            "data descriptors without signature": (with_unsigned_descriptors(), 'after member "a.txt"',
                                                   "data descriptor without its signature"),
            "bytes before the first member": (b"PK00" + small, "does not start with a ZIP local header"),
            "bytes after the end record": (small + b"tail", "bytes follow its end record", "size check"),
        }
        for label, (data, *fragments) in cases.items():
            with self.subTest(label):
                self.assertRefused(["--zip", self.write_zip(label + ".zip", data), "--no-rewrite"], *fragments,
                                   "without --no-rewrite")
        self.assertRefused(["--zip", self.write_zip("text.zip", b"just text")], "no end-of-central-directory record")
        # ... unless the size check is off.
        run("build", "-o", self.path("ok.exe"), "--zip", self.path("bytes after the end record.zip"), "--no-size-check",
            "--no-rewrite")

    def test_zip64_sizes_in_a_local_header_are_taken_from_its_field(self):
        run("build", "-o", self.path("zip64.exe"), "--zip", self.write_zip("zip64.zip", with_zip64_member()))
        run("extract", self.path("zip64.exe"), "-d", self.path("out"), "-q")
        with open(self.path("out", "big.txt"), "rb") as f:
            self.assertEqual(f.read(), b"abc")

    def test_a_refused_build_keeps_the_previous_output(self):
        with open(self.path("out.exe"), "wb") as f:
            f.write(b"previous")
        self.assertRefused(["--zip", self.write_zip("text.zip", b"just text")], "cannot use")
        with open(self.path("out.exe"), "rb") as f:
            self.assertEqual(f.read(), b"previous")


if __name__ == "__main__":
    unittest.main()
