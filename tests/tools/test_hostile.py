"""The doromi tool under careless and hostile input: outputs that are not
regular files, inputs that fail or never end, names the stub would refuse,
texts that would steer the terminal, interruptions and full disks. Faults
are injected with tests/tools/io_shim.c, loaded with LD_PRELOAD."""
import json
import os
import pty
import signal
import stat
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import DOROMI, STUB, ToolTestCase, build_io_shim, run, write_zip  # noqa: E402


class HostileInputTest(ToolTestCase):
    @classmethod
    def setUpClass(cls):
        build_io_shim(cls)

    def shimmed(self, args, **settings):
        env = {**os.environ, "LD_PRELOAD": self.shim, **{k: str(v) for k, v in settings.items()}}
        return subprocess.Popen([DOROMI, *args], env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE)

    def test_outputs_that_are_not_regular_files_are_refused_and_left_alone(self):
        source = self.tree({"a.txt": b"a"})
        os.mkfifo(self.path("fifo"))
        os.symlink(self.path("elsewhere"), self.path("link"))
        os.mkdir(self.path("folder"))
        os.mknod(self.path("null"), stat.S_IFCHR | 0o666, os.makedev(1, 3))
        for name, fragment in (("fifo", "not a regular file"), ("link", "symbolic link"),
                               ("folder", "folder"), ("null", "not a regular file")):
            with self.subTest(name):
                before = os.lstat(self.path(name))
                result = run("build", "-o", self.path(name), source, check=False)
                self.assertEqual(result.returncode, 1)
                self.assertIn(fragment, result.err)
                after = os.lstat(self.path(name))
                self.assertEqual((before.st_mode, before.st_ino), (after.st_mode, after.st_ino))
        for own in (STUB, DOROMI):
            result = run("build", "-o", own, "--stub", STUB, source, check=False)
            self.assertIn("the stub or the doromi tool itself", result.err)

    def test_a_replaced_output_keeps_its_permissions(self):
        with open(self.path("out.exe"), "wb") as f:
            f.write(b"old")
        os.chmod(self.path("out.exe"), 0o640)
        self.build(self.tree({"a.txt": b"a"}))
        self.assertEqual(stat.S_IMODE(os.stat(self.path("out.exe")).st_mode), 0o640)

    def test_a_read_error_fails_the_build_with_the_files_name(self):
        source = self.tree({"big.bin": os.urandom(1_000_000)})
        process = self.shimmed(["build", "-o", self.path("out.exe"), source], SHIM_PATH="big.bin",
                               SHIM_READ_LIMIT=65536)
        _, err = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 1)
        self.assertIn("big.bin: Input/output error", err.decode())
        self.assertFalse(os.path.exists(self.path("out.exe")))

    def test_inputs_that_never_end_or_branch_without_bound_are_refused(self):
        source = self.tree({"a.txt": b"a"})
        # 18 levels of two links to the next level: 2^18 paths, no cycle.
        for level in range(18):
            os.makedirs(self.path("fan", str(level)))
            for link in ("x", "y"):
                os.symlink(self.path("fan", str(level + 1)), self.path("fan", str(level), link))
        os.makedirs(self.path("fan", "18"))
        with open(self.path("fan", "18", "leaf"), "wb") as f:
            f.write(b"leaf")
        cases = [
            (["--password-file", "/dev/zero", source], "not a regular file"),
            (["--password-file", self.work, source], "folder"),
            (["--stub", "/dev/zero", source], "not a regular file"),
            ([self.path("fan", "0")], "more than 65535 members"),
        ]
        for args, fragment in cases:
            with self.subTest(args[0]):
                result = run("build", "-o", self.path("out.exe"), *args, check=False)
                self.assertEqual(result.returncode, 1, result.err)
                self.assertIn(fragment, result.err)
        piped = subprocess.run([DOROMI, "build", "-o", self.path("piped.exe"), "--password-file", "/dev/stdin",
                                source], input=b"secret\n", capture_output=True)
        self.assertEqual(piped.returncode, 0, piped.stderr)

    def test_names_the_stub_refuses_are_refused_and_twins_warned_about(self):
        source = self.tree({"CON": b"c", "aux.txt": b"a", "dot.": b"d", "ok.txt": b"o"})
        result = run("build", "-o", self.path("out.exe"), source, check=False)
        self.assertEqual(result.returncode, 1)
        for name in ("CON", "aux.txt", "dot."):
            self.assertIn(name, result.err)
        # Windows folds letters beyond ASCII too (Greek ones, here).
        twins = self.tree({"a.txt": b"1", "A.TXT": b"2", "ΑΒ.txt": b"3", "αβ.txt": b"4"}, name="twins")
        result = run("build", "-o", self.path("twins.exe"), twins + "/")
        self.assertIn('"A.TXT" and "a.txt"', result.err)
        self.assertIn('"ΑΒ.txt" and "αβ.txt"', result.err)
        report = json.loads(run("info", "--json", self.path("twins.exe")).out)
        self.assertEqual([m["case_twin_of"] for m in report["members"]], [None, "A.TXT", None, "ΑΒ.txt"])

        archive = write_zip(self.path("evil.zip"), [(name, b"x") for name in ("../evil.txt", "CON", "fine.txt")])
        result = run("build", "-o", self.path("evil.exe"), "--zip", archive, check=False)
        self.assertEqual(result.returncode, 1)
        self.assertIn("../evil.txt", result.err)
        run("build", "-o", self.path("evil.exe"), "--zip", archive, "--allow-refused-names")
        info = run("info", "--json", self.path("evil.exe"), check=False)
        self.assertEqual(info.returncode, 1)
        self.assertEqual([m["refused"] is not None for m in json.loads(info.out)["members"]], [True, True, False])

    def test_info_says_what_a_file_is_by_its_exit_status(self):
        self.build(self.tree({"a.txt": b"a"}))
        with open(self.path("random.exe"), "wb") as f:
            f.write(os.urandom(100_000))
        os.mkfifo(self.path("fifo"))
        for args, status in (([self.path("out.exe")], 0), ([self.path("random.exe")], 1),
                             ([self.work], 3), ([self.path("fifo")], 3), ([self.path("missing")], 3), ([], 2)):
            with self.subTest(args):
                self.assertEqual(subprocess.run([DOROMI, "info", *args], capture_output=True,
                                                timeout=30).returncode, status)

    def test_texts_from_files_cannot_steer_the_terminal(self):
        archive = write_zip(self.path("hostile.zip"), [("a\x1b[2Jb.txt", b"x"), ("right\u202etxt.exe", b"y")])
        run("build", "-o", self.path("out.exe"), "--zip", archive, "--allow-refused-names",
            "--title", "\x1b]0;pwned\x07title")
        out = run("info", self.path("out.exe"), check=False).out
        self.assertIn("\\x1B]0;pwned\\x07title", out)
        self.assertIn("a\\x1B[2Jb.txt", out)
        extract = run("extract", self.path("out.exe"), "-d", self.path("target"), check=False)
        for text in (out, extract.out, extract.err):
            self.assertNotIn("\x1b", text)
            self.assertNotIn("\u202e", text)
        missing = run("info", self.path("gpj.\u202eexe"), check=False)
        self.assertIn("gpj.\\u202Eexe", missing.err)

    def test_interrupted_or_failing_extraction_leaves_no_partial_member(self):
        self.build(self.tree({"big.bin": os.urandom(4_000_000)}), "--store")
        process = self.shimmed(["extract", self.path("out.exe"), "-d", self.path("target"), "-q"],
                               SHIM_PATH="big.bin", SHIM_DELAY_US=20000)
        member = self.path("target", "입력", "big.bin")
        deadline = time.monotonic() + 30
        while not os.path.exists(member) and time.monotonic() < deadline:
            time.sleep(0.05)
        time.sleep(0.3)
        process.send_signal(signal.SIGINT)
        process.wait(30)
        self.assertFalse(os.path.exists(member), "the cut member was left behind")

        # Cut while it replaces a file: the old file stays, no temporary file is left.
        with open(member, "wb") as f:
            f.write(b"precious")
        process = self.shimmed(["extract", self.path("out.exe"), "-d", self.path("target"), "-q",
                                "--overwrite", "overwrite"], SHIM_PATH=".tmp", SHIM_DELAY_US=20000)
        folder = os.path.dirname(member)
        deadline = time.monotonic() + 30
        while not any(n.endswith(".tmp") for n in os.listdir(folder)) and time.monotonic() < deadline:
            time.sleep(0.05)
        time.sleep(0.3)
        process.send_signal(signal.SIGINT)
        process.wait(30)
        self.assertEqual(sorted(os.listdir(folder)), ["big.bin"])
        with open(member, "rb") as f:
            self.assertEqual(f.read(), b"precious")

        process = self.shimmed(["extract", self.path("out.exe"), "-d", self.path("full"), "-q"],
                               SHIM_PATH="big.bin", SHIM_WRITE_ERRNO=28)  # ENOSPC
        _, err = process.communicate(timeout=60)
        self.assertEqual(process.returncode, 1)
        self.assertIn("the disk is full", err.decode())

    def test_progress_shows_on_a_terminal_only(self):
        source = self.tree({f"f{i}.bin": os.urandom(200_000) for i in range(8)})
        env = {**os.environ, "LD_PRELOAD": self.shim, "SHIM_PATH": ".bin", "SHIM_DELAY_US": "100000"}
        leader, follower = pty.openpty()
        process = subprocess.Popen([DOROMI, "build", "-o", self.path("tty.exe"), source], env=env,
                                   stdout=subprocess.DEVNULL, stderr=follower)
        os.close(follower)
        shown = b""
        while True:
            try:
                chunk = os.read(leader, 4096)
            except OSError:
                break
            if not chunk:
                break
            shown += chunk
        process.wait(60)
        os.close(leader)
        self.assertIn(b"packing:", shown)
        piped = subprocess.run([DOROMI, "build", "-o", self.path("pipe.exe"), source], env=env,
                               capture_output=True)
        self.assertNotIn(b"packing:", piped.stderr)
