"""The stub finishing step must refuse images that break the combined-file
layout: too large, or holding a ZIP signature anywhere."""
import os
import subprocess
import sys
import tempfile
import unittest

SCRIPT = os.path.join(os.path.dirname(__file__), "..", "..", "cmake", "finish_stub.py")


def run_finish(linked: bytes, size: int):
    with tempfile.TemporaryDirectory() as work:
        linked_path = os.path.join(work, "linked.exe")
        out_path = os.path.join(work, "out.exe")
        with open(linked_path, "wb") as f:
            f.write(linked)
        with open(out_path, "wb") as f:
            f.write(b"stale image")
        result = subprocess.run([sys.executable, SCRIPT, linked_path, out_path, str(size)],
                                capture_output=True, text=True)
        out = open(out_path, "rb").read() if os.path.exists(out_path) else None
        return result, out


class FinishStubTest(unittest.TestCase):
    def test_pads_to_exact_size_with_zeros(self):
        result, out = run_finish(b"MZ" + b"\x90" * 100, 4096)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(len(out), 4096)
        self.assertEqual(out[102:], bytes(4096 - 102))
        self.assertIn("102 bytes linked", result.stdout)

    def test_image_of_exactly_the_budget_passes(self):
        result, out = run_finish(b"M" * 4096, 4096)
        self.assertEqual(result.returncode, 0, result.stderr)
        self.assertEqual(len(out), 4096)

    def test_oversized_image_fails_and_leaves_no_output(self):
        result, out = run_finish(b"M" * 4097, 4096)
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("1 over the budget", result.stderr)
        self.assertIsNone(out)

    def test_each_signature_fails_wherever_it_lies(self):
        for signature in (b"PK\x03\x04", b"PK\x01\x02", b"PK\x05\x06"):
            for offset in (0, 1, 1000, 4096 - 4):
                linked = bytearray(4096)
                linked[offset:offset + 4] = signature
                result, out = run_finish(bytes(linked), 4096)
                self.assertNotEqual(result.returncode, 0, (signature, offset))
                self.assertIn(f"offset {offset}", result.stderr)
                self.assertIsNone(out)

    def test_harmless_near_misses_pass(self):
        result, _ = run_finish(b"PK\x03\x03PK\x05\x07PK\x01", 4096)
        self.assertEqual(result.returncode, 0, result.stderr)


if __name__ == "__main__":
    unittest.main()
