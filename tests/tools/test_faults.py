"""Extraction onto a disk that fills up in the middle of a member and onto
a read-only directory: the member fails, nothing incomplete is counted as
extracted, and nothing that existed is destroyed unless the policy said so.
The targets are small tmpfs mounts, which need root; where none can be
mounted, a full disk is faked with tests/tools/io_shim.c instead."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import DOROMI, ToolTestCase, build_io_shim, run  # noqa: E402


class MountedTarget(ToolTestCase):
    def tmpfs(self, size_kb, name="mnt"):
        """A fresh folder with a tmpfs of `size_kb` mounted on it, and None;
        or the bare folder and why no tmpfs could be mounted."""
        target = self.path(name)
        os.mkdir(target)
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size_kb}k", "tmpfs", target],
                                capture_output=True)
        if result.returncode != 0:
            return target, result.stderr.decode().strip()
        self.addCleanup(subprocess.run, ["umount", "-l", target])
        return target, None

    def mount(self, size_kb, read_only_after=None):
        """A tmpfs of `size_kb` at a fresh folder; `read_only_after(path)`
        fills it before it is remounted read-only."""
        target, failure = self.tmpfs(size_kb)
        if failure is not None:
            self.skipTest("cannot mount a tmpfs here: " + failure)
        if read_only_after:
            read_only_after(target)
            subprocess.run(["mount", "-o", "remount,ro", target], check=True)
        return target


class FullDiskTest(MountedTarget):
    def test_member_that_does_not_fit_fails_and_the_others_are_kept(self):
        files = {"a-small.txt": b"small\n" * 100, "b-big.bin": os.urandom(600_000),
                 "c-keep.txt": b"from the archive"}
        self.build(self.tree(files, name="src"), "--store")
        target = self.mount(256)
        os.mkdir(os.path.join(target, "src"))
        with open(os.path.join(target, "src", "c-keep.txt"), "wb") as f:
            f.write(b"existed before")

        result = run("extract", self.path("out.exe"), "-d", target, "--overwrite", "skip", check=False)
        self.assertEqual(result.returncode, 1)
        self.assertIn("선택된 파일은 압축을 풀 수 없습니다.", result.err)
        self.assertIn("not extracted:\n  src/b-big.bin", result.err)
        self.assertEqual(result.err.count("\n  "), 1, result.err)  # only the big member is left
        with open(os.path.join(target, "src", "a-small.txt"), "rb") as f:
            self.assertEqual(f.read(), files["a-small.txt"])
        with open(os.path.join(target, "src", "c-keep.txt"), "rb") as f:
            self.assertEqual(f.read(), b"existed before")

    def full_disk(self, name):
        """A target that takes 512 KiB and no more, and the environment to
        extract into it with: a tmpfs, or else the shim failing every write
        below the target with ENOSPC."""
        target, failure = self.tmpfs(512, name)
        if failure is None:
            print(f"full disk: a 512 KiB tmpfs at {target}", flush=True)
            return target, os.environ
        if not getattr(type(self), "shim", None):
            build_io_shim(type(self))
        print(f"full disk: faked by the shim (no tmpfs: {failure})", flush=True)
        return target, {**os.environ, "LD_PRELOAD": self.shim, "SHIM_PATH": target, "SHIM_WRITE_ERRNO": "28"}

    # A member that does not fit leaves nothing under its name: neither a
    # new file nor, when it was to replace a file, its temporary file; the
    # old file stays whole.
    def test_member_that_does_not_fit_leaves_nothing_under_its_name(self):
        self.build(self.tree({"big.bin": os.urandom(1_000_000)}, name="src"), "--store")
        for label, old in (("new", None), ("replacing", b"precious")):
            with self.subTest(label):
                target, env = self.full_disk(label)
                folder = os.path.join(target, "src")
                os.mkdir(folder)
                if old is not None:
                    with open(os.path.join(folder, "big.bin"), "wb") as f:
                        f.write(old)
                result = subprocess.run([DOROMI, "extract", self.path("out.exe"), "-d", target, "-q",
                                         "--overwrite", "overwrite"], env=env, capture_output=True)
                self.assertEqual(result.returncode, 1)
                self.assertIn("the disk is full", result.stderr.decode())
                left = {}
                for name in os.listdir(folder):
                    with open(os.path.join(folder, name), "rb") as f:
                        left[name] = f.read()
                self.assertEqual(left, {} if old is None else {"big.bin": old})


class ReadOnlyTargetTest(MountedTarget):
    def test_existing_file_on_a_read_only_disk_is_reported_and_kept(self):
        self.build(self.tree({"a.txt": b"new content"}, name="src"))

        def existing(target):
            os.mkdir(os.path.join(target, "src"))
            with open(os.path.join(target, "src", "a.txt"), "wb") as f:
                f.write(b"old content")
        target = self.mount(64, read_only_after=existing)

        result = run("extract", self.path("out.exe"), "-d", target, "--overwrite", "overwrite", check=False)
        self.assertEqual(result.returncode, 1)
        self.assertIn("파일을 열 수 없습니다.: " + target.replace("/", "\\") + "\\src\\a.txt",
                      result.err.replace("/", "\\"))
        self.assertIn("선택된 파일은 압축을 풀 수 없습니다.", result.err)
        with open(os.path.join(target, "src", "a.txt"), "rb") as f:
            self.assertEqual(f.read(), b"old content")


if __name__ == "__main__":
    unittest.main()
