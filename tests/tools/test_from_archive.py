"""`doromi build --from`: the entries of 7z, tar, iso and cpio archives
come out of `doromi extract` as the archivers extract them; links,
FIFOs, damaged and encrypted archives; options that combine with it."""
import os
import stat
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import MTIME, ToolTestCase, make_tree, run, sample_files  # noqa: E402

OLD = time.mktime((1975, 6, 1, 12, 0, 0, 0, 0, -1))
NEW_YEAR_1980 = time.mktime((1980, 1, 1, 0, 0, 0, 0, 0, -1))

# (archive, command that makes it from the folder "src", how to extract
# it for reference): every row holds the same tree.
FORMATS = [
    ("x.7z", ["7z", "a", "-t7z", "-snl", "x.7z", "./src/*"], ["7z", "x", "-y", "-oREF", "x.7z"]),
    ("x.tar.gz", ["tar", "czSf", "x.tar.gz", "-C", "src", "."], None),  # -S: the sparse file's holes
    ("x.tar.xz", ["tar", "cJf", "x.tar.xz", "-C", "src", "."], None),
    ("x.tar.bz2", ["tar", "cjSf", "x.tar.bz2", "--format", "posix", "-C", "src", "."], None),
    ("x.iso", ["bsdtar", "-cf", "x.iso", "--format", "iso9660", "-C", "src", "."], None),
    ("x.cpio", ["bsdtar", "-cf", "x.cpio", "--format", "newc", "-C", "src", "."], None),
    ("x.xar", ["bsdtar", "-cf", "x.xar", "--format", "xar", "-C", "src", "."], None),
]


def dos_time(mtime):
    """What a file's time becomes through a ZIP: two-second steps, odd
    seconds rounded up, nothing before 1980."""
    seconds = int(mtime)
    return max(seconds + (seconds & 1), NEW_YEAR_1980)


def tree_of(root):
    """{path: bytes, or None for a folder}, and {path: time} for files;
    a symbolic link counts as a file holding its target."""
    tree, times = {}, {}
    for folder, folders, files in os.walk(root):
        for name in folders + files:
            path = os.path.join(folder, name)
            key = os.path.relpath(path, root)
            if os.path.islink(path):
                tree[key] = os.readlink(path).encode()
            elif os.path.isdir(path):
                tree[key] = None
            elif stat.S_ISREG(os.stat(path).st_mode):
                with open(path, "rb") as f:
                    tree[key] = f.read()
                times[key] = dos_time(os.stat(path).st_mtime)
    return tree, times


class FromArchiveTest(ToolTestCase):
    def source_tree(self):
        files = dict(sample_files(), **{"빈 폴더/": None, "옛날.txt": b"1975"})
        root = make_tree(self.path("src"), files)
        os.utime(os.path.join(root, "옛날.txt"), (OLD, OLD))
        os.symlink("문서/안내.txt", os.path.join(root, "링크"))
        os.link(os.path.join(root, "readme.txt"), os.path.join(root, "하드링크"))
        with open(os.path.join(root, "구멍.bin"), "wb") as f:  # holes inside and at the end
            f.seek(1 << 20)
            f.write(b"data")
            f.truncate(2 << 20)
        return root

    def make(self, command):
        subprocess.run(command, cwd=self.work, check=True, capture_output=True)

    def extracted(self, exe, *options):
        target = self.path("out-" + os.path.basename(exe))
        run("extract", "-q", "-d", target, exe, *options)
        return tree_of(target)

    def test_each_format_comes_out_as_its_archiver_extracts_it(self):
        self.source_tree()
        for archive, make, reference in FORMATS:
            with self.subTest(archive=archive):
                self.make(make)
                ref = self.path("ref-" + archive)
                os.mkdir(ref)
                self.make([a.replace("REF", ref) for a in reference] if reference else ["bsdtar", "-xf", archive, "-C", ref])
                exe = self.path(archive + ".exe")
                result = run("build", "-o", exe, "--from", self.path(archive))
                self.assertEqual(result.err, "")
                expected, times = tree_of(ref)
                self.assertIn("빈 폴더", expected)
                self.assertEqual(expected["링크"], "문서/안내.txt".encode())
                tree, our_times = self.extracted(exe)
                self.assertEqual(tree, expected)
                self.assertEqual({k: our_times[k] for k in times}, times)  # links keep no time to compare
                self.assertEqual(subprocess.run(["unzip", "-tq", exe], capture_output=True).returncode, 0)

    def test_fifos_are_left_out_and_a_file_given_again_replaces_the_one_before(self):
        root = make_tree(self.path("src"), {"a.txt": b"old"})
        os.mkfifo(os.path.join(root, "파이프"))
        self.make(["tar", "cf", "x.tar", "-C", "src", "."])
        with open(os.path.join(root, "a.txt"), "wb") as f:
            f.write(b"new")
        self.make(["tar", "rf", "x.tar", "-C", "src", "./a.txt"])
        exe = self.path("x.exe")
        result = run("build", "-o", exe, "--from", self.path("x.tar"))
        self.assertIn("warning: left out 파이프 in", result.err)
        self.assertIn("warning: a.txt in", result.err)
        self.assertEqual(self.extracted(exe)[0], {"a.txt": b"new"})

    def test_refusals_name_the_entry_and_the_reason(self):
        make_tree(self.path("src"), {"가.txt": os.urandom(50000), "나.txt": b"x" * 50000})
        self.make(["7z", "a", "-t7z", "plain.7z", "./src/*"])
        self.make(["7z", "a", "-t7z", "-pSECRET", "secret.7z", "./src/*"])
        self.make(["7z", "a", "-t7z", "-pSECRET", "-mhe=on", "hidden.7z", "./src/*"])
        self.make(["zip", "-qr", "x.zip", "src"])
        self.make(["tar", "czf", "x.tgz", "src"])
        with open(self.path("plain.7z"), "rb") as f:
            damaged = bytearray(f.read())
        damaged[100:140] = bytes(40)  # inside the packed data: the header at the end still reads
        with open(self.path("x.tgz"), "rb") as f:
            short = f.read()[:-1000]
        for name, data in [("damaged.7z", damaged), ("short.tgz", short), ("text.txt", b"not an archive\n")]:
            with open(self.path(name), "wb") as f:
                f.write(data)
        for archive, fragments in [
            ("secret.7z", ["가.txt in ", "secret.7z is encrypted"]),
            ("hidden.7z", ["hidden.7z", "encrypted"]),
            ("damaged.7z", ["cannot read 가.txt in ", "damaged.7z"]),
            ("short.tgz", ["cannot read ", "short.tgz", "truncated gzip input"]),
            ("x.zip", ["x.zip is a ZIP archive; give it with --zip"]),
            ("text.txt", ["text.txt", "Unrecognized archive format"]),
        ]:
            with self.subTest(archive=archive):
                self.assertRefused(["--from", self.path(archive)], *fragments)
        for args, fragment in [(["--from", self.path("x.tgz"), self.path("src")], "give no other paths"),
                               (["--from", self.path("x.tgz"), "--zip", self.path("x.zip")], "give no --zip")]:
            with self.subTest(args=args):
                self.assertRefused(args, fragment)

    def test_large_encrypted_members_and_links_to_them_are_read_again_alike(self):
        # Over 16 MiB and incompressible: its digest and its data each read
        # it from the archive, and so does its copy.
        big = os.urandom((16 << 20) + 5)
        make_tree(self.path("src"), {"big.bin": big, "작은.txt": b"small " * 1000})
        os.link(self.path("src", "big.bin"), self.path("src", "copy.bin"))
        self.make(["tar", "cf", "x.tar", "-C", "src", "."])
        for encryption in ["aes256", "zipcrypto"]:
            with self.subTest(encryption=encryption):
                options = ["--from", self.path("x.tar"), "--password", "비밀", "--encryption", encryption]
                first = self.build(*options, out="1.exe")
                self.assertEqual(self.build(*options, out="2.exe"), first, "the build is not deterministic")
                tree = self.extracted(self.path("1.exe"), "--password", "비밀")[0]
                self.assertEqual(tree, {"big.bin": big, "copy.bin": big, "작은.txt": b"small " * 1000})
                self.assertLess(len(first), 2 * len(big) + 100000, "the big members grew")


if __name__ == "__main__":
    unittest.main()
