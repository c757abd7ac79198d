"""Which Windows programs the end-to-end tests, the demo and the benchmark
run: the 32-bit product where the host runs 32-bit code, the 64-bit twin
under the 64-bit loader where it does not. The host's answer is faked here,
so that both kinds of host are covered on either."""
import os
import stat
import subprocess
import sys
import tempfile
import unittest

import harness
from harness import choose_arch


def always(answer):
    return lambda: answer


class ArchChoiceTest(unittest.TestCase):
    def test_choice_follows_the_host_unless_forced(self):
        cases = [  # forced, host runs 32-bit code, expected arch
            (None, True, "win32"),
            (None, False, "win64"),
            ("win64", True, "win64"),
            ("win64", False, "win64"),
            ("win32", True, "win32"),
        ]
        for forced, runs_32, expected in cases:
            with self.subTest(forced=forced, runs_32=runs_32):
                arch, reason = choose_arch(forced, always(runs_32))
                self.assertEqual(arch, expected)
                self.assertTrue(reason)

    def test_forcing_what_the_host_cannot_run_is_an_error(self):
        for forced, runs_32 in (("win32", False), ("win16", True), ("x64", False)):
            with self.subTest(forced=forced), self.assertRaises(ValueError):
                choose_arch(forced, always(runs_32))

    def test_a_bad_choice_ends_the_run_with_a_message(self):
        result = subprocess.run([sys.executable, "-c", "import harness"], capture_output=True, text=True,
                                env={**os.environ, "DOROMI_E2E_ARCH": "win16"},
                                cwd=os.path.dirname(harness.__file__))
        self.assertNotEqual(result.returncode, 0)
        self.assertIn("DOROMI_E2E_ARCH must be win32 or win64", result.stderr)

    def test_the_probe_reads_a_loader_that_cannot_start_as_no(self):
        with tempfile.TemporaryDirectory() as work:
            def loader(name, content):
                path = os.path.join(work, name)
                with open(path, "wb") as f:
                    f.write(content)
                os.chmod(path, stat.S_IRWXU)
                return path
            # An ELF header for a machine this kernel does not run: "Exec format error".
            foreign = loader("foreign", b"\x7fELF\x01\x01\x01" + bytes(9) + b"\x02\x00\xff\x00" + bytes(40))
            self.assertFalse(harness.runs_32_bit_code(foreign))
            self.assertFalse(harness.runs_32_bit_code(os.path.join(work, "missing")))
            self.assertFalse(harness.runs_32_bit_code(loader("fails", b"#!/bin/sh\nexit 126\n")))
            self.assertTrue(harness.runs_32_bit_code(loader("starts", b"#!/bin/sh\nexit 0\n")))

    def test_programs_come_from_the_chosen_architectures_folder(self):
        self.assertEqual(os.path.dirname(harness.STUB), harness.PROGRAM_DIRS[harness.ARCH])
        self.assertEqual(os.path.dirname(harness.DRIVER), harness.PROGRAM_DIRS[harness.ARCH])
        self.assertTrue(harness.PREFIX.endswith("-" + harness.ARCH))
        env = harness.wine_environment(":0")
        self.assertEqual((env["WINELOADER"], env["WINEARCH"]), (harness.LOADER, harness.ARCH))


if __name__ == "__main__":
    unittest.main()
