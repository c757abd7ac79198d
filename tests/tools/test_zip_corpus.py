"""`doromi build --zip` on archives that other tools write: each one comes
out of `doromi extract` as a reference extractor takes the original out,
and is appended unchanged, rewritten or recompressed as its form asks;
archives the stub cannot be given are refused with their reason."""
import io
import os
import struct
import subprocess
import sys
import unittest
import zipfile
import zlib

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import ToolTestCase, make_tree, run, tree_contents  # noqa: E402
from zip_reading import NonSeekable  # noqa: E402

TREE = {
    "docs/": None,
    "docs/guide.txt": b"a line of guidance\n" * 400,
    "docs/empty.txt": b"",
    "data/noise.bin": bytes((i * 7919 + i // 13) % 251 for i in range(20000)),
    "data/numbers.txt": "".join(f"{i}\n" for i in range(20000)).encode(),
    "readme.txt": b"hello\n",
    "empty dir/": None,
}


def sh(command, cwd):
    subprocess.run(command, shell=True, cwd=cwd, check=True, capture_output=True)


def zipfile_archive(path, compression=zipfile.ZIP_DEFLATED, streamed=False, jar=False):
    stream = NonSeekable() if streamed else path
    with zipfile.ZipFile(stream, "w", compression) as z:
        if jar:  # the manifest first, with the 0xCAFE field jar gives the first member
            info = zipfile.ZipInfo("META-INF/MANIFEST.MF")
            info.extra = b"\xfe\xca\x00\x00"
            z.writestr(info, b"Manifest-Version: 1.0\r\nCreated-By: hand\r\n\r\n", zipfile.ZIP_DEFLATED)
        for name, data in TREE.items():
            z.writestr(name, data or b"")
    if streamed:
        with open(path, "wb") as f:
            f.write(stream.data)


def with_bytes_around(path, before=b"", between=b"", after=b""):
    """Rewrites a zipfile archive of TREE with bytes before its first member
    (offsets left as they were, as a prefix leaves them), between its
    members (offsets right, as an APK signing block lies) and after its end."""
    buffer = io.BytesIO()
    with zipfile.ZipFile(buffer, "w", zipfile.ZIP_DEFLATED) as z:
        for name, data in TREE.items():
            z.writestr(name, data or b"")
        if between:
            z.comment = b""
    data = buffer.getvalue()
    if between:
        directory = struct.unpack_from("<I", data, len(data) - 6)[0]
        data = data[:directory] + between + data[directory:-6] + struct.pack("<I", directory + len(between)) + data[-2:]
    with open(path, "wb") as f:
        f.write(before + data + after)


def hand_made(path, name, method, packed, content, flags=0, central_extra=b"", local_extra=b""):
    """One member in `method`, its data given already compressed; each
    header may have an extra field of its own."""
    crc = zlib.crc32(content)
    fields = struct.pack("<HHHHHIIIH", 63, flags, method, 0, 0x5A21, crc, len(packed), len(content), len(name))
    local = b"PK\x03\x04" + fields + struct.pack("<H", len(local_extra)) + name + local_extra
    central = (b"PK\x01\x02" + struct.pack("<H", 63) + fields + struct.pack("<HHHHII", len(central_extra), 0, 0, 0, 0, 0)
               + name + central_extra)
    end = b"PK\x05\x06" + struct.pack("<HHHHIIH", 0, 0, 1, 1, len(central), len(local) + len(packed), 0)
    with open(path, "wb") as f:
        f.write(local + packed + central + end)


def zip64_field_with_real_sizes(path, src):
    """Real sizes in the local header and a ZIP64 field beside them, as
    Apple's Numbers writes its members."""
    content = TREE["docs/guide.txt"]
    hand_made(path, b"guide.txt", 0, content, content, local_extra=struct.pack("<HHQQ", 1, 16, len(content), len(content)))


def zstd_member(path, src):
    content = TREE["data/numbers.txt"]
    packed = subprocess.run(["zstd", "-q", "-c"], input=content, capture_output=True, check=True).stdout
    hand_made(path, b"numbers.txt", 93, packed, content)


# label: (how the archive is made from the tree in `src` at `path`, the
# reference extractor, what `build --zip` does with it)
CORPUS = {
    "zip -r": (lambda p, s: sh(f"zip -qr {p} .", s), "unzip", "appended"),
    "7z zip deflate": (lambda p, s: sh(f"7z a -tzip -bd {p} .", s), "7z", "appended"),
    "zipfile seekable": (lambda p, s: zipfile_archive(p), "unzip", "appended"),
    "zip to a pipe": (lambda p, s: sh(f"zip -qr - . | cat > {p}", s), "unzip", "rewritten"),
    "zip stored to a pipe": (lambda p, s: sh(f"zip -qr0 - . | cat > {p}", s), "bsdtar", "rewritten"),
    "zip from stdin": (lambda p, s: sh(f"printf hello | zip -q -0 {p} -", s), "unzip", "rewritten"),
    "zip from stdin to a pipe": (lambda p, s: sh(f"printf hello | zip -q - - | cat > {p}", s), "unzip", "rewritten"),
    "zipfile streamed": (lambda p, s: zipfile_archive(p, streamed=True), "unzip", "rewritten"),
    "jar": (lambda p, s: zipfile_archive(p, streamed=True, jar=True), "unzip", "rewritten"),
    "spanning marker": (lambda p, s: with_bytes_around(p, before=b"PK00"), "unzip", "rewritten"),
    "prefix bytes": (lambda p, s: with_bytes_around(p, before=b"#!/bin/sh\nexit 0\n" * 40), "unzip", "rewritten"),
    "signing block": (lambda p, s: with_bytes_around(p, between=b"APK Sig Block 42" * 64), "unzip", "rewritten"),
    "trailer": (lambda p, s: with_bytes_around(p, after=b"trailing junk"), "7z", "rewritten"),
    "zip64 field with real sizes": (zip64_field_with_real_sizes, "7z", "rewritten"),
    "zip -Z bzip2": (lambda p, s: sh(f"zip -qr -Z bzip2 {p} .", s), "unzip", "recompressed"),
    "7z bzip2": (lambda p, s: sh(f"7z a -tzip -bd -m0=bzip2 {p} .", s), "7z", "recompressed"),
    "7z lzma": (lambda p, s: sh(f"7z a -tzip -bd -m0=lzma {p} .", s), "7z", "recompressed"),
    "7z ppmd": (lambda p, s: sh(f"7z a -tzip -bd -m0=ppmd {p} .", s), "7z", "recompressed"),
    "7z xz": (lambda p, s: sh(f"7z a -tzip -bd -m0=xz {p} .", s), "7z", "recompressed"),
    "zipfile lzma": (lambda p, s: zipfile_archive(p, zipfile.ZIP_LZMA), "bsdtar", "recompressed"),
    "zipfile bzip2 streamed": (lambda p, s: zipfile_archive(p, zipfile.ZIP_BZIP2, streamed=True), "bsdtar",
                               "recompressed"),
    "zstd": (zstd_member, "bsdtar", "recompressed"),
}

REFERENCE = {"unzip": ["unzip", "-qq", "{a}", "-d", "{d}"], "7z": ["7z", "x", "-bd", "-o{d}", "{a}"],
             "bsdtar": ["bsdtar", "-xf", "{a}", "-C", "{d}"]}


class ZipCorpusTest(ToolTestCase):
    def make(self, label):
        src = make_tree(self.path("src"), TREE) if not os.path.isdir(self.path("src")) else self.path("src")
        archive = self.path(label.replace(" ", "_") + ".zip")
        CORPUS[label][0](archive, src)
        return archive

    def reference(self, tool, archive, password=None):
        target = self.path("ref-" + os.path.basename(archive))
        os.makedirs(target)
        command = [part.format(a=archive, d=target) for part in REFERENCE[tool]]
        if password:
            command[1:1] = ["-P", password] if tool == "unzip" else ["-p" + password]
        done = subprocess.run(command, capture_output=True)
        # unzip warns (1) of bytes before the archive, and extracts all the same.
        self.assertIn(done.returncode, (0, 1) if tool == "unzip" else (0,), done.stderr)
        return tree_contents(target)

    def build_and_extract(self, archive, *options, password=None):
        exe = archive[:-4] + ".exe"
        result = run("build", "-o", exe, "--zip", archive, *options)
        out = self.path("out-" + os.path.basename(archive))
        run("extract", exe, "-d", out, "-q", *(["--password", password] if password else []))
        return exe, result.out.splitlines()[0], tree_contents(out)

    def test_each_archive_comes_out_as_its_reference_extractor_takes_it_out(self):
        counts = {}
        for label, (_, tool, outcome) in CORPUS.items():
            with self.subTest(label):
                archive = self.make(label)
                exe, summary, extracted = self.build_and_extract(archive)
                self.assertEqual(extracted, self.reference(tool, archive))
                done = ("recompressed" if "; recompressed" in summary else
                        "rewritten" if " rewritten " in summary else
                        "appended" if summary.endswith("appended unchanged") else summary)
                self.assertEqual(done, outcome)
                counts[done] = counts.get(done, 0) + 1
                self.assertEqual(run("info", "--zip", archive).out.splitlines()[0], summary)
                no_rewrite = run("build", "-o", self.path("n.exe"), "--zip", archive, "--no-rewrite", check=False)
                self.assertEqual(no_rewrite.returncode, 0 if outcome == "appended" else 1, no_rewrite.err)
                if outcome != "appended":
                    self.assertIn("without --no-rewrite", no_rewrite.err)
                    subprocess.run(["unzip", "-tq", exe], check=True, capture_output=True)
        print(f"\ncorpus of {len(CORPUS)}: {counts}", file=sys.stderr)

    def test_a_rewrite_is_the_same_every_time(self):
        for label in ("jar", "7z bzip2"):
            with self.subTest(label):
                archive = self.make(label)
                run("build", "-o", self.path("1.exe"), "--zip", archive)
                run("build", "-o", self.path("2.exe"), "--zip", archive)
                with open(self.path("1.exe"), "rb") as a, open(self.path("2.exe"), "rb") as b:
                    self.assertEqual(a.read(), b.read())

    # Streamed members encrypted with the traditional cipher keep flag bit
    # 3, which moves their check byte to the time field. A password given
    # is checked against every encrypted member.
    def test_encrypted_members_keep_what_their_cipher_needs(self):
        src = make_tree(self.path("src"), TREE)
        cases = {"zipcrypto to a pipe": ("zip -qr -P pw - . | cat > {a}", "unzip", "rewritten"),
                 "7z aes": ("7z a -tzip -bd -mem=AES256 -ppw {a} .", "7z", "appended"),
                 "7z aes lzma": ("7z a -tzip -bd -m0=lzma -mem=AES256 -ppw {a} .", "7z", None)}
        for label, (command, tool, outcome) in cases.items():
            with self.subTest(label):
                archive = self.path(label.replace(" ", "_") + ".zip")
                sh(command.format(a=archive), src)
                if outcome is None:
                    self.assertRefused(["--zip", archive], "AES-encrypted and compressed with a method",
                                       out="refused.exe")
                    continue
                _, summary, extracted = self.build_and_extract(archive, "--password", "pw", password="pw")
                self.assertIn(outcome, summary)
                self.assertEqual(extracted, self.reference(tool, archive, password="pw"))
                self.assertRefused(["--zip", archive, "--password", "wrong"], "the password does not open member",
                                   out="wrong.exe")

    def test_what_cannot_be_read_is_refused_with_its_reason(self):
        src = make_tree(self.path("src"), TREE)
        cases = {
            "deflate64": ("7z a -tzip -bd -m0=deflate64 {a} .", "Deflate64 (method 9)"),
            "encrypted bzip2": ("7z a -tzip -bd -m0=bzip2 -ppw {a} .", "encrypted and compressed with bzip2"),
            "a 7z archive": ("7z a -t7z -bd {a} .", "no end-of-central-directory record"),
        }
        for label, (command, reason) in cases.items():
            with self.subTest(label):
                archive = self.path(label.replace(" ", "_") + ".zip")
                sh(command.format(a=archive), src)
                self.assertRefused(["--zip", archive], reason, out=label + ".exe")
                info = run("info", "--zip", archive, check=False)
                self.assertEqual(info.returncode, 1)
                self.assertIn(reason, info.out)


def unicode_path(name, utf8):
    body = b"\x01" + struct.pack("<I", zlib.crc32(name)) + utf8.encode()
    return struct.pack("<HH", 0x7075, len(body)) + body


class ForeignNamesTest(ToolTestCase):
    # A name in a code page the stub does not read, told by a Unicode Path
    # field in the central directory only (as WinZip writes it) or by
    # --name-encoding; info --zip shows the name the stub would show.
    def test_names_come_out_as_their_archive_or_the_option_says(self):
        oil, japanese = "Ölfässer.txt", "日本語のファイル.txt"
        cases = [
            ("central unicode path", oil.encode("cp437"), unicode_path(oil.encode("cp437"), oil), [], oil),
            ("cp437", oil.encode("cp437"), b"", ["--name-encoding", "cp437"], oil),
            ("cp932", japanese.encode("cp932"), b"", ["--name-encoding", "cp932"], japanese),
        ]
        for label, name, central_extra, options, expected in cases:
            with self.subTest(label):
                archive = self.path(label + ".zip")
                hand_made(archive, name, 0, b"content", b"content", central_extra=central_extra)
                if options:
                    self.assertNotIn(expected, run("info", "--zip", archive, check=False).out)
                self.assertIn(expected, run("info", "--zip", archive, *options).out)
                run("build", "-o", self.path(label + ".exe"), "--zip", archive, *options)
                run("extract", self.path(label + ".exe"), "-d", self.path(label), "-q")
                self.assertEqual(os.listdir(self.path(label)), [expected])
        self.assertRefused(["--zip", archive, "--name-encoding", "no-such-page"], "--name-encoding takes")


if __name__ == "__main__":
    unittest.main()
