"""Combined files beyond 2 GiB and up to 4 GiB less one byte: a file of
about 3 GiB stored from sparse inputs, listed by info and extracted; a
compressed build that reaches 4 GiB, stopped; and inputs that would make
the file reach 4 GiB, refused before they are read."""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import ARCHIVE_OFFSET, DOROMI, build_io_shim, run  # noqa: E402

GIB = 1 << 30
SPAN = 3 * GIB - (64 << 20)  # starts after the stub, crosses 2 GiB, ends below 3 GiB
LAST = bytes((i * 7 + i // 251) % 256 for i in range(1 << 20))  # lies wholly beyond 2 GiB
NEEDED = 7 * GIB  # the combined file and its extracted copy, with room to spare


def free_bytes(path):
    """The space left on the disk of `path`, as df reports it."""
    out = subprocess.run(["df", "--output=avail", "-B1", path], capture_output=True, text=True, check=True).stdout
    return int(out.split()[-1])


def sparse_file(path, size):
    with open(path, "wb") as f:
        f.truncate(size)


class LargeCombinedFileTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="doromi-large-")
        self.addCleanup(shutil.rmtree, self.work)

    def test_a_file_beyond_2_gib_is_built_listed_and_extracted(self):
        free = free_bytes(self.work)
        if free < NEEDED:
            self.skipTest(f"{free} bytes free on the disk of {self.work}, {NEEDED} needed")
        source = os.path.join(self.work, "source")
        os.makedirs(source)
        sparse_file(os.path.join(source, "a-span.bin"), SPAN)
        with open(os.path.join(source, "b-last.bin"), "wb") as f:
            f.write(LAST)
        combined = os.path.join(self.work, "large.exe")
        run("build", "--store", "-q", "-o", combined, source + "/")

        info = json.loads(run("info", "--json", combined).out)
        members = {m["name"]: m for m in info["members"]}
        self.assertEqual(sorted(members), ["a-span.bin", "b-last.bin"])
        span, last = members["a-span.bin"], members["b-last.bin"]
        self.assertLess(span["offset"], 2 * GIB)
        self.assertGreater(span["offset"] + span["compressed_size"], 2 * GIB)
        self.assertGreater(last["offset"], 2 * GIB)
        self.assertEqual((span["size"], last["size"]), (SPAN, len(LAST)))
        self.assertTrue(info["size_check"]["matches"])
        self.assertEqual(info["walk_end"]["at"], "central directory")

        target = os.path.join(self.work, "target")
        run("extract", combined, "-d", target)
        os.remove(combined)  # room for the copy
        with open(os.path.join(target, "b-last.bin"), "rb") as f:
            self.assertEqual(f.read(), LAST)
        self.assertEqual(os.path.getsize(os.path.join(target, "a-span.bin")), SPAN)


    def test_a_compressed_build_that_reaches_4_gib_stops_and_leaves_no_file(self):
        free = free_bytes(self.work)
        if free < NEEDED:
            self.skipTest(f"{free} bytes free on the disk of {self.work}, {NEEDED} needed")
        # Five names of one GiB that does not shrink: each member is stored
        # after zlib failed to shrink it, and the fourth reaches 4 GiB.
        source = os.path.join(self.work, "source")
        os.makedirs(source)
        first = os.path.join(source, "r0.bin")
        with open(first, "wb") as f:
            for _ in range(GIB >> 24):
                f.write(os.urandom(1 << 24))
        for i in range(1, 5):
            os.link(first, os.path.join(source, f"r{i}.bin"))
        output = os.path.join(self.work, "too-large.exe")
        result = run("build", "-q", "--level", "1", "-o", output, source + "/", check=False)
        self.assertEqual(result.returncode, 1, result.err)
        self.assertIn("would reach 4 GiB", result.err)
        self.assertEqual(sorted(os.listdir(self.work)), ["source"])  # no output, no partial file


class FourGibRefusalTest(unittest.TestCase):
    """Inputs of sparse zeros whose combined file would be exactly 4 GiB:
    refused with the size, before a byte of them is read (the shim fails
    every read of them)."""

    @classmethod
    def setUpClass(cls):
        build_io_shim(cls)

    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="doromi-4gib-")
        self.addCleanup(shutil.rmtree, self.work)

    def test_inputs_that_would_reach_4_gib_are_refused_before_reading(self):
        base = ARCHIVE_OFFSET
        stored_overhead = 2 * len("zeros.bin") + 30 + 46 + 22  # headers, names and the end record
        cases = [
            ("store", "zeros.bin", (1 << 32) - base - stored_overhead, ["--store"], "4294967296 bytes"),
            ("zip", "zeros.zip", (1 << 32) - base + 1, ["--zip"], "must stay below 4 GiB"),
        ]
        for label, name, size, option, said in cases:
            with self.subTest(label):
                path = os.path.join(self.work, name)
                sparse_file(path, size)
                output = os.path.join(self.work, label + ".exe")
                env = {**os.environ, "LD_PRELOAD": self.shim, "SHIM_PATH": path, "SHIM_READ_LIMIT": "0"}
                result = subprocess.run([DOROMI, "build", "-q", "-o", output, *option, path], capture_output=True,
                                        env=env)
                self.assertEqual(result.returncode, 1, result.stderr)
                self.assertIn(said, result.stderr.decode())
                self.assertFalse(os.path.exists(output))
                self.assertEqual(os.listdir(self.work), [name])  # no partial file either
                os.remove(path)


if __name__ == "__main__":
    unittest.main()
