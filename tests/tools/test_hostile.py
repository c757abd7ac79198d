"""The doromi tool under careless and hostile input: outputs that are not
regular files, inputs that fail or never end, names the stub would refuse,
texts that would steer the terminal, interruptions and full disks. Faults
are injected with tests/tools/io_shim.c, loaded with LD_PRELOAD."""
import collections
import concurrent.futures
import json
import os
import re
import shlex
import signal
import stat
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import DOROMI, STUB, ToolTestCase, compile_io_shim, make_tree, run, write_zip  # noqa: E402

SHIM = os.path.join(os.environ.get("TMPDIR", "/tmp"), f"doromi-io-shim-{os.getpid()}.so")


def setUpModule():
    compile_io_shim(SHIM)


def tearDownModule():
    os.remove(SHIM)


def shim_env(settings):
    return {**os.environ, "LD_PRELOAD": SHIM, **{k: str(v) for k, v in settings.items()}}


# Runs the command line stored NUL-separated in the file it is given, so
# that any bytes reach doromi as they are through script's shell.
LAUNCHER = "import os, sys; a = open(sys.argv[1], 'rb').read().split(b'\\0')[:-1]; os.execv(a[0], a)"
PROGRESS_DRAW = re.compile(rb"\r(?:packing|extracting): [^\r\n]*?\x1b\[K")


def on_terminal(args, **settings):
    """doromi with `args` on a terminal (util-linux script), with the shim and
    its `settings`: (exit status, every byte the terminal was sent)."""
    with tempfile.NamedTemporaryFile() as argv:
        argv.write(b"".join(os.fsencode(a) + b"\0" for a in [DOROMI, *args]))
        argv.flush()
        command = f"python3 -c {shlex.quote(LAUNCHER)} {argv.name}"
        result = subprocess.run(["script", "-qec", command, "/dev/null"], stdin=subprocess.DEVNULL,
                                capture_output=True, env=shim_env(settings), timeout=120)
    return result.returncode, result.stdout


def apart_from_progress(test, shown):
    """What a terminal showed besides the progress line, and how often the
    line was drawn; fails when anything was printed onto a drawn line."""
    draws = list(PROGRESS_DRAW.finditer(shown))
    for draw in draws:
        test.assertEqual(shown[draw.end():draw.end() + 1], b"\r",
                         "printed onto the progress line: %r" % shown[draw.start():draw.end() + 40])
    rest = PROGRESS_DRAW.sub(b"", shown).replace(b"\r\x1b[K", b"").replace(b"\r\n", b"\n")
    return rest.decode("utf-8"), len(draws)


class HostileInputTest(ToolTestCase):
    def shimmed(self, args, **settings):
        return subprocess.Popen([DOROMI, *args], env=shim_env(settings), stdout=subprocess.PIPE,
                                stderr=subprocess.PIPE)

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

    # The set-ID bits go when the new file has another owner or group than
    # the old one (the build's own); the other bits stay.
    def test_a_replaced_output_keeps_its_permissions(self):
        source = self.tree({"a.txt": b"a"})
        me, other = (os.geteuid(), os.getegid()), 4321
        cases = [(me, 0o640, 0o640), (me, 0o6755, 0o6755), ((other, me[1]), 0o4755, 0o755),
                 ((me[0], other), 0o2750, 0o750), ((other, other), 0o6711, 0o711)]
        for owners, mode, expected in cases:
            with self.subTest(owners=owners, mode=oct(mode)):
                if owners != me and os.geteuid() != 0:
                    self.skipTest("giving a file to another owner needs root")
                with open(self.path("out.exe"), "wb") as f:
                    f.write(b"old")
                os.chown(self.path("out.exe"), *owners)
                os.chmod(self.path("out.exe"), mode)
                self.build(source)
                self.assertEqual(stat.S_IMODE(os.stat(self.path("out.exe")).st_mode), expected)

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



PAD = ("pad.bin", os.urandom(160 << 10))  # read and written slowly through the shim: a progress line shows


# files: packed from a folder's contents (None: only --zip); zipped: --zip
# members, for names that building from files refuses (with `refusal`) or
# must not give folder members; shown: texts the tool prints; members: JSON
# values by member name; extracted: files made besides the pad (None: not
# even the pad).
Row = collections.namedtuple("Row", "label files zipped refusal out target shown members extracted status")


def hostile_rows():
    escape, rlo = "e\x1b[2Jsc.txt", "right\u202etxt.exe"
    ff = os.fsdecode(b"ff\xff.txt")
    return [Row(*row) for row in [
        ("0xFF in a name", {ff: b"1"}, [(b"ff\xff.txt", b"1")], "ff\\xFF.txt is not valid UTF-8", "out.exe", "t",
         ["ff?.txt", "refused by the stub: its name is not valid in code page 949"],
         {"ff?.txt": {"name_hex": b"ff\xff.txt".hex()}}, [], 1),
        ("0xFF in the paths", {"plain.txt": b"1"}, None, None, os.fsdecode(b"out\xff.exe"),
         os.fsdecode(b"t\xff"), ["File:            ", "out\\xFF.exe", "path is not valid UTF-8"],
         {"plain.txt": {"case_twin_of": None}}, None, 1),
        ("line feed in a name", {"l\nf.txt": b"1"}, [("l\nf.txt", b"1")], "l\\x0Af.txt (it holds the control "
         "character U+000A", "out.exe", "t", ["l\\x0Af.txt", "적절하지 않은 파일 이름입니다.: l\\x0Af.txt"],
         {"l\nf.txt": {"refused": "it holds the control character U+000A, which Windows does not allow in file "
                       "names"}}, [], 1),
        ("line feed in the paths", {"plain.txt": b"1"}, None, None, "o\nut.exe", "t\ngt",
         ["o\\x0Aut.exe: 2 members, ", "디렉토리 오류...: /", "-paths/t\\x0Agt"], {"plain.txt": {"refused": None}},
         None, 1),
        ("escape in a name", {escape: b"1"}, [(escape, b"1")], "e\\x1B[2Jsc.txt (it holds the control character "
         "U+001B", "out.exe", "t", ["e\\x1B[2Jsc.txt"], {escape: {"refused": "it holds the control character "
                                   "U+001B, which Windows does not allow in file names"}}, [], 1),
        ("U+202E in a name", {rlo: b"1"}, None, None, "out.exe", "t", ["right\\u202Etxt.exe"],
         {rlo: {"refused": None}}, [rlo], 0),
        ("Korean names and paths", {"한글 폴더/문서.txt": b"1"}, None, None, "설치.exe", "받은 곳",
         ["설치.exe: 3 members, ", "한글 폴더/문서.txt", "받은 곳/한글 폴더/문서.txt"],
         {"한글 폴더/": {"name_hex": None}}, ["한글 폴더/문서.txt"], 0),
        ("two files", {"a.txt": b"1", "A.TXT": b"2"}, None, None, "out.exe", "t",
         ['"A.TXT" and "a.txt" (one file on Windows'], {"a.txt": {"case_twin_of": "A.TXT"}}, ["a.txt", "A.TXT"], 0),
        ("two folders", {"Dir/x.txt": b"1", "dir/y.txt": b"2"}, None, None, "out.exe", "t",
         ['"Dir/" and "dir/" (one folder on Windows'], {"dir/": {"case_twin_of": "Dir/"}, "dir/y.txt":
                                                           {"case_twin_of": None}}, ["Dir/x.txt", "dir/y.txt"], 0),
        ("a folder and a file", {"Dir/x.txt": b"1", "dir": b"2"}, None, None, "out.exe", "t",
         ['"Dir/" and "dir" (a file and a folder'], {"dir": {"case_twin_of": "Dir/"}}, ["Dir/x.txt", "dir"], 0),
        # Without folder members: the folder is only a part of the later name.
        ("a file and a folder on a path", None, [("a.txt", b"1"), ("A.TXT/b.txt", b"2")], None, "out.exe", "t",
         ['"a.txt" and "A.TXT/" of "A.TXT/b.txt"', 'case twin of "a.txt" (its folder "A.TXT/")'],
         {"A.TXT/b.txt": {"case_twin_of": "a.txt"}}, ["a.txt", "A.TXT/b.txt"], 0),
    ]]


def hex_unless_utf8(raw):
    try:
        raw.decode("utf-8")
        return None
    except UnicodeDecodeError:
        return raw.hex()


class HostileNamesTest(ToolTestCase):
    """Each hostile name or path through build (on a terminal), info, info
    --json and extract (on a terminal): every text escaped, every path with
    "/", the JSON parsed, the progress line cleared before anything else."""

    def through_the_tool(self, row):
        work = self.path(row.label.replace(" ", "-"))
        os.makedirs(work)
        out, target = os.path.join(work, row.out), os.path.join(work, row.target)
        seen = {}
        if row.files is not None:
            make_tree(os.path.join(work, "src"), {**row.files, PAD[0]: PAD[1]})
            seen["build"] = on_terminal(["build", "-o", out, os.path.join(work, "src/")], SHIM_PATH="pad.bin",
                                        SHIM_DELAY_US=600_000)
        if row.zipped is not None:
            archive = write_zip(os.path.join(work, "in.zip"), [*row.zipped, PAD])
            allow = ["--allow-refused-names"] if row.refusal else []
            seen["refused"] = run("build", "-o", out, "--zip", archive, check=False)
            seen["zip"] = on_terminal(["build", "-o", out, "--zip", archive, *allow])
        seen["info"] = run("info", out, check=False)
        seen["json"] = subprocess.run([DOROMI, "info", "--json", out], capture_output=True)
        seen["extract"] = on_terminal(["extract", out, "-d", target], SHIM_PATH="pad.bin", SHIM_DELAY_US=250_000)
        return seen, out, target

    def test_hostile_names_and_paths(self):
        rows = hostile_rows()
        with concurrent.futures.ThreadPoolExecutor(len(rows)) as pool:  # the shim's delays overlap
            runs = [pool.submit(self.through_the_tool, row) for row in rows]
        for row, done in zip(rows, runs):
            with self.subTest(row.label):
                seen, out, target = done.result()
                texts = [seen["info"].out, seen["info"].err]
                for step in ("build", "zip", "extract"):
                    if step in seen:
                        text, draws = apart_from_progress(self, seen[step][1])
                        texts.append(text)
                        slow = step == "build" and not row.refusal or step == "extract" and row.extracted is not None
                        self.assertEqual(draws > 0, slow, f"{step}: progress drawn {draws} times")
                        self.assertEqual(seen[step][0], {"build": 1 if row.refusal else 0, "zip": 0,
                                                         "extract": row.status}[step], text)
                if row.refusal:
                    self.assertIn(row.refusal, texts[2])
                    self.assertIn("; --allow-refused-names appends it all the same", seen["refused"].err)
                    self.assertIn("warning: the stub will refuse 1 member: ", texts[3])
                everything = "\n".join(texts)
                for fragment in row.shown:
                    self.assertIn(fragment, everything)
                for raw in ("\x1b", "\u202e", "l\nf", "o\nut", "t\ngt", os.path.realpath(self.work).replace("/", "\\")):
                    self.assertNotIn(raw, everything)

                report = json.loads(seen["json"].stdout)  # bytes: anything but UTF-8 fails
                self.assertEqual((report["file"], report.get("file_hex")),
                                 (os.fsencode(out).decode("utf-8", "replace"), hex_unless_utf8(os.fsencode(out))))
                listed = {m["name"]: m for m in report["members"]}
                for name, expected in row.members.items():
                    self.assertEqual({key: listed[name].get(key) for key in expected}, expected, name)
                for name in [PAD[0], *row.extracted] if row.extracted is not None else []:
                    self.assertTrue(os.path.isfile(os.path.join(target, name)), name)


class OutputTest(ToolTestCase):
    """What the tool prints on a terminal and through a pipe: the progress
    line only on a terminal and cleared before anything else, paths as this
    system writes them, counts that read naturally, and an over-long
    password refused before any work."""

    def test_output(self):
        source = self.tree({"top.bin": os.urandom(160 << 10)}, name="one") + "/"
        out, blocked, too_long = self.path("one.exe"), self.path("blocked"), "가" * 80
        os.makedirs(os.path.join(blocked, "top.bin"))  # a folder where the member's file goes
        slow_read, slow_write = {"SHIM_PATH": "top.bin", "SHIM_DELAY_US": 600_000}, {"SHIM_PATH": "top.bin",
                                                                                     "SHIM_DELAY_US": 250_000}
        password_limit = "the password is too long: 80 characters (UTF-16 units), 1 more than the 79"
        rows = [  # label, arguments, on a terminal, shim settings, status, shown, not shown, progress drawn
            ("build on a terminal", ["build", "-o", out, source], True, slow_read, 0, [out + ": 1 member, "], [], True),
            ("build through a pipe", ["build", "-o", out, source], False, slow_read, 0, [out + ": 1 member, "],
             ["packing:"], False),
            ("extract on a terminal", ["extract", out, "-d", self.path("t")], True, slow_write, 0,
             ["/t/top.bin\n모든 파일을 압축을 풀었습니다.\n"], [], True),
            ("a failure's path", ["extract", out, "-d", blocked, "-q"], False, {}, 1,
             [f"파일을 열 수 없습니다.: {os.path.realpath(blocked)}/top.bin\n", "1 member was not extracted:\n  top.bin"],
             ["\\"], False),
            ("over-long password to build", ["build", "-o", self.path("no.exe"), "--password", too_long,
                                             self.path("missing")], False, {}, 2, [password_limit], ["missing"], False),
            ("over-long password to extract", ["extract", self.path("missing.exe"), "-d", self.path("none"),
                                               "--password", too_long], False, {}, 2, [password_limit], [], False),
        ]
        for label, args, terminal, settings, status, shown, hidden, drawn in rows:
            with self.subTest(label):
                if terminal:
                    code, output = on_terminal(args, **settings)
                else:
                    piped = subprocess.run([DOROMI, *args], capture_output=True, env=shim_env(settings))
                    code, output = piped.returncode, piped.stdout + piped.stderr
                text, draws = apart_from_progress(self, output)
                self.assertEqual(code, status, text)
                self.assertEqual(draws > 0, drawn, text)
                for fragment in shown:
                    self.assertIn(fragment, text)
                for fragment in hidden:
                    self.assertNotIn(fragment, text)
        self.assertFalse(os.path.exists(self.path("no.exe")) or os.path.exists(self.path("none")),
                         "a refused password left something behind")
