"""Memory of `doromi build --from` on a 7z of about 1 GB made with
-mx=9: beyond what libarchive's decompressor takes to read the archive
(bsdtar's peak reading it), the build stays within the bound the README
gives for files; the members extract alike."""
import hashlib
import os
import random
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from test_large import free_bytes  # noqa: E402
from tool_helpers import DOROMI, run  # noqa: E402

MIB = 1 << 20
BOUND = 140 * MIB
# One member streamed at once (above 16 MiB), six more, and four read
# whole: 1000 MiB. Their data repeats a random MiB, shifted, so that 7z
# compresses it in seconds but deflate, whose window is 32 KiB, cannot.
SIZES = {"big.bin": 580, **{f"part{n}.bin": 60 for n in range(6)}, **{f"small{n}.bin": 15 for n in range(4)}}
NEEDED = 3 << 30  # the data, the combined file and its extracted copy


def peak_kib(*command):
    """The peak resident memory of `command`, as /usr/bin/time gives it."""
    result = subprocess.run(["/usr/bin/time", "-f", "%M", *command], stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True)
    if result.returncode != 0:
        raise AssertionError(f"{command} failed: {result.stderr}")
    return int(result.stderr.strip().splitlines()[-1])


def write_data(folder):
    block = random.Random(1).randbytes(MIB)
    digests = {}
    for index, (name, mib) in enumerate(SIZES.items()):
        digest = hashlib.sha256()
        with open(os.path.join(folder, name), "wb") as f:
            for i in range(mib):
                shift = (i * 7 + index) % 997 * 1000
                piece = block[shift:] + block[:shift]
                f.write(piece)
                digest.update(piece)
        digests[name] = digest.hexdigest()
    return digests


def digest_of(path):
    digest = hashlib.sha256()
    with open(path, "rb") as f:
        while chunk := f.read(MIB):
            digest.update(chunk)
    return digest.hexdigest()


class FromLargeArchiveTest(unittest.TestCase):
    def setUp(self):
        self.work = tempfile.mkdtemp(prefix="doromi-from-large-")
        self.addCleanup(shutil.rmtree, self.work)

    def test_a_7z_of_1_gb_made_with_mx9_is_built_within_the_bound(self):
        if free_bytes(self.work) < NEEDED:
            self.skipTest(f"needs {NEEDED >> 30} GiB free in {self.work}")
        data = os.path.join(self.work, "data")
        os.mkdir(data)
        digests = write_data(data)
        archive = os.path.join(self.work, "big.7z")
        subprocess.run(["7z", "a", "-t7z", "-mx=9", archive, *SIZES], cwd=data, check=True, capture_output=True)
        shutil.rmtree(data)
        reading = peak_kib("bsdtar", "-xOf", archive)
        exe = os.path.join(self.work, "big.exe")
        building = peak_kib(DOROMI, "build", "-q", "-o", exe, "--from", archive)
        print(f"\npeak memory: bsdtar reading the 7z {reading} KiB, doromi build --from {building} KiB",
              file=sys.stderr)
        self.assertLess((building - reading) * 1024, BOUND)
        out = os.path.join(self.work, "out")
        run("extract", "-q", "-d", out, exe)
        self.assertEqual({name: digest_of(os.path.join(out, name)) for name in SIZES}, digests)


if __name__ == "__main__":
    unittest.main()
