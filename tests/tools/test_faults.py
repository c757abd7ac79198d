"""Extraction onto a disk that fills up in the middle of a member and onto
a read-only directory: the member fails, nothing incomplete is counted as
extracted, and nothing that existed is destroyed unless the policy said so.
The targets are small tmpfs mounts, so these tests need root."""
import os
import subprocess
import sys
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import ToolTestCase, run  # noqa: E402


class MountedTarget(ToolTestCase):
    def mount(self, size_kb, read_only_after=None):
        """A tmpfs of `size_kb` at a fresh folder; `read_only_after(path)`
        fills it before it is remounted read-only."""
        target = self.path("mnt")
        os.mkdir(target)
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={size_kb}k", "tmpfs", target],
                                capture_output=True)
        if result.returncode != 0:
            self.skipTest("cannot mount a tmpfs here: " + result.stderr.decode().strip())
        self.addCleanup(subprocess.run, ["umount", "-l", target])
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
