"""`doromi build --zip` streams its archive: a stored, streamed zip of 1 GiB
of random data (rewritten, as its sizes follow its members) takes no more
memory than the README's limit for files."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from test_large import free_bytes  # noqa: E402
from tool_helpers import DOROMI  # noqa: E402

GIB = 1 << 30
LIMIT_KIB = 140 * 1024  # "about 140 MiB", README
NEEDED = 3 * GIB + (256 << 20)  # the random file, its archive and the combined file


class StreamedInputMemoryTest(unittest.TestCase):
    def test_a_streamed_1_gib_zip_is_rewritten_within_the_memory_limit(self):
        work = tempfile.mkdtemp(prefix="doromi-zip-memory-")
        self.addCleanup(shutil.rmtree, work)
        free = free_bytes(work)
        if free < NEEDED:
            self.skipTest(f"{free} bytes free on the disk of {work}, {NEEDED} needed")
        with open(os.path.join(work, "big.bin"), "wb") as f:
            for _ in range(GIB >> 24):
                f.write(os.urandom(1 << 24))
        subprocess.run("zip -q -0 - big.bin | cat > big.zip", shell=True, cwd=work, check=True)
        os.remove(os.path.join(work, "big.bin"))
        timed = subprocess.run(["/usr/bin/time", "-f", "%M", os.path.abspath(DOROMI), "build", "-q", "-o", "big.exe", "--zip",
                                "big.zip"], cwd=work, capture_output=True, text=True)
        self.assertEqual(timed.returncode, 0, timed.stderr)
        self.assertIn("rewritten", timed.stdout)
        peak = int(timed.stderr.split()[-1])
        print(f"\npeak {peak} KiB for a 1 GiB streamed zip, written under {work}", file=sys.stderr)
        self.assertLess(peak, LIMIT_KIB)
        subprocess.run(["unzip", "-tq", "big.exe"], cwd=work, check=True, capture_output=True)


if __name__ == "__main__":
    unittest.main()
