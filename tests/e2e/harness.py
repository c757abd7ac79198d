"""End-to-end harness: runs the real stub under Wine on a virtual X display
and drives it with the cross-built test driver.

A Wine prefix is made once per test run (`harness.py make-prefix`); every
test module opens a `WineSession` that starts its own Xvfb and Wine server
and ends both, and every process it started, when it closes. Wine takes a
program's ANSI code page from its LC_ALL when it starts, so one prefix
serves every locale: a session runs its programs in a locale of its own
(Korean unless told), and any one program may be started in another.
"""
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
# The modules shared by every test folder (fixed_values, zip_reading,
# file_trees).
sys.path.append(os.path.join(ROOT, "tests"))
from file_trees import tree, write_tree  # noqa: E402,F401  (the end-to-end tests take them from here)
OUT_DIR = os.path.join(ROOT, "build", "out")
# The Wine loader of each architecture, called by its own path: Debian's
# `wine` and `wineboot` scripts pick the 32-bit loader whenever it is
# installed, whether or not this host can run it.
LOADERS = {"win32": "/usr/lib/wine/wine", "win64": "/usr/lib/wine/wine64"}
# Where each architecture's Windows programs are built.
PROGRAM_DIRS = {"win32": OUT_DIR, "win64": os.path.join(OUT_DIR, "win64")}


def runs_32_bit_code(loader=LOADERS["win32"]):
    """Whether this host runs 32-bit programs, told by whether the 32-bit
    Wine loader starts: on a kernel without IA-32 emulation its start fails
    with "Exec format error"."""
    try:
        return subprocess.run([loader, "--version"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=60).returncode == 0
    except (OSError, subprocess.TimeoutExpired):
        return False


def choose_arch(forced, host_runs_32_bit_code):
    """The architecture of the Windows programs to run, and why, as
    (arch, reason): the product (win32) where the host runs 32-bit code,
    the 64-bit twin otherwise; `forced` (DOROMI_E2E_ARCH) overrides, but
    forcing win32 on a host that cannot run it is an error."""
    if forced:
        if forced not in LOADERS:
            raise ValueError(f"DOROMI_E2E_ARCH must be win32 or win64, not {forced!r}")
        if forced == "win32" and not host_runs_32_bit_code():
            raise ValueError("DOROMI_E2E_ARCH=win32, but this host runs no 32-bit code "
                             f"({LOADERS['win32']} does not start)")
        return forced, "chosen by DOROMI_E2E_ARCH"
    if host_runs_32_bit_code():
        return "win32", "this host runs 32-bit code"
    return "win64", f"this host runs no 32-bit code ({LOADERS['win32']} does not start)"


try:
    ARCH, ARCH_REASON = choose_arch(os.environ.get("DOROMI_E2E_ARCH"), runs_32_bit_code)
except ValueError as error:
    sys.exit(f"end-to-end tests: {error}")
LOADER = LOADERS[ARCH]
PROGRAM_DIR = PROGRAM_DIRS[ARCH]
# DOROMI_E2E_DIR gives a run its own Wine prefixes and screenshot folder, so
# that two runs on one machine keep out of each other's way. Each
# architecture has a prefix of its own.
E2E_DIR = os.environ.get("DOROMI_E2E_DIR") or os.path.join(ROOT, "build", "e2e")
PREFIX = os.path.join(E2E_DIR, "wineprefix-" + ARCH)
SCREENSHOTS = os.path.join(E2E_DIR, "screenshots")
STUB = os.path.join(PROGRAM_DIR, "doromi-sfx.exe")
DRIVER = os.path.join(PROGRAM_DIR, "e2e-driver.exe")
DOROMI = os.path.join(OUT_DIR, "doromi")
DESKTOP_SIZE = "1024x768"
DIALOG_CLASS = "#32770"
# The locale whose ANSI code page a Windows program gets, by code page.
LOCALES = {949: "ko_KR.UTF-8", 1252: "en_US.UTF-8", 932: "ja_JP.UTF-8"}
KOREAN = LOCALES[949]
# The dialogs' font, which every Windows since Vista has in every language,
# and a font with Hangul that Wine finds in its place (fonts-nanum).
DIALOG_FONT, DIALOG_FONT_STAND_IN = "Malgun Gothic", "NanumGothic"


def doromi_build(*arguments, **run_options):
    """Runs `doromi build` with the stub of the chosen architecture."""
    return subprocess.run([DOROMI, "build", "--stub", STUB, *arguments], check=True, **run_options)


def describe_choice():
    """One line saying which stub runs under which loader, and why."""
    return f"Windows programs: {ARCH} ({os.path.relpath(STUB, ROOT)} under {LOADER}): {ARCH_REASON}"


def wine_environment(display, locale=KOREAN):
    env = dict(os.environ)
    env.update({
        "WINEPREFIX": PREFIX,
        "WINEARCH": ARCH,
        "WINELOADER": LOADER,
        "WINEDEBUG": "-all",
        "WINEDLLOVERRIDES": "mscoree,mshtml=",
        "LC_ALL": locale,
        "DISPLAY": display,
    })
    return env


def windows_path(unix_path):
    """The path under which a Wine program sees a Unix file (drive Z:)."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


class Xvfb:
    """A virtual X server on a display number it picks itself."""

    def __init__(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", DESKTOP_SIZE + "x24",
             "-nolisten", "tcp"],
            pass_fds=(write_end,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        with os.fdopen(read_end) as pipe:
            number = pipe.readline().strip()
        if not number:
            self.process.kill()
            raise RuntimeError("Xvfb did not start")
        self.display = ":" + number

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(5)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()


class WineSession:
    """Xvfb plus a Wine server on the shared prefix, with driver commands."""

    def __init__(self, name, display=None, locale=KOREAN):
        """`display`: an X display to use instead of a virtual one of our own;
        `locale`: the LC_ALL of the programs the session starts."""
        self.name = name
        self.xvfb = None if display else Xvfb()
        self.env = wine_environment(display or self.xvfb.display, locale)
        self.processes = []
        self.shot_dir = os.path.join(SCREENSHOTS, name)
        os.makedirs(self.shot_dir, exist_ok=True)
        print(f"screenshots of {name}: {self.shot_dir}", flush=True)
        # Bring up the Wine server and the virtual desktop before any test
        # program races to create them.
        self.driver("windows", timeout=120)

    # -- processes ---------------------------------------------------------
    def start(self, exe, *args, cwd=None, env=None, log=None, locale=None):
        """Starts a Windows program; its exit code is the process's. `env`:
        variables to set for this program only; `log`: a file that takes
        Wine's output (its traces, with WINEDEBUG in `env`); `locale`: the
        program's LC_ALL, when not the session's."""
        env = {**self.env, **(env or {}), **({"LC_ALL": locale} if locale else {})}
        process = subprocess.Popen([LOADER, exe, *args], env=env, cwd=cwd,
                                   stdout=log or subprocess.DEVNULL,
                                   stderr=log or subprocess.DEVNULL)
        self.processes.append(process)
        return process

    def hold_file(self, path, access, share):
        """Has the driver hold `path` open until the session's programs end."""
        with tempfile.NamedTemporaryFile(delete=False) as out:
            status = out.name
        with open(status, "wb") as out:
            process = subprocess.Popen([LOADER, DRIVER, "hold", windows_path(path), "600000",
                                        access, share], env=self.env, stdout=out,
                                       stderr=subprocess.DEVNULL)
        self.processes.append(process)
        deadline = time.monotonic() + 30
        while time.monotonic() < deadline and process.poll() is None:
            if b'"held":true' in open(status, "rb").read():
                os.remove(status)
                return
            time.sleep(0.1)
        os.remove(status)
        raise AssertionError(f"the driver could not hold {path} ({access}, {share})")

    def end_programs(self):
        """Ends every Windows program this session started and is still running."""
        for process in self.processes:
            if process.poll() is None:
                process.kill()
                process.wait()
        self.processes = []

    def close(self):
        self.end_programs()
        subprocess.run(["wineserver", "-k"], env=self.env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=self.env, stderr=subprocess.DEVNULL)
        if self.xvfb:
            self.xvfb.stop()

    # -- the driver --------------------------------------------------------
    def driver(self, *args, timeout=30):
        # Output goes through a file, not a pipe: Wine's helper processes that
        # a call may start inherit its output and would keep a pipe open.
        with tempfile.TemporaryFile() as out:
            try:
                result = subprocess.run([LOADER, DRIVER, *map(str, args)], env=self.env,
                                        stdout=out, stderr=subprocess.DEVNULL, timeout=timeout)
            except subprocess.TimeoutExpired:
                return -1, ""
            out.seek(0)
            # The driver writes every text as UTF-16 units, those outside
            # ASCII as \u escapes (json.loads joins surrogate pairs), so its
            # output is ASCII whatever the code page: other bytes are an error.
            return result.returncode, out.read().decode("ascii")

    def windows(self):
        code, out = self.driver("windows")
        return json.loads(out) if code == 0 and out.strip() else []

    def dump(self, hwnd):
        started = time.monotonic()
        code, out = self.driver("dump", hwnd)
        if code != 0:
            print(f"dump of window {hwnd} failed with {code} after "
                  f"{time.monotonic() - started:.1f} s", flush=True)
        return json.loads(out) if code == 0 else None

    def press(self, hwnd, control_id):
        # A driver start can fail on a loaded machine. A driver that ran and
        # failed posted nothing, so pressing again is harmless as long as
        # the window is still there; one that timed out (-1) may have posted.
        for _ in range(3):
            code, _ = self.driver("press", hwnd, control_id)
            if code == 0:
                return
            if code < 0 or all(w["hwnd"] != hwnd for w in self.windows()):
                break
        raise RuntimeError(f"could not press {control_id} in window {hwnd}")

    def set_text(self, hwnd, control_id, text):
        code, _ = self.driver("settext", hwnd, control_id, text)
        if code != 0:
            raise RuntimeError(f"could not set the text of {control_id}")

    def wait_for_window(self, title=None, cls=DIALOG_CLASS, timeout=30):
        """The first visible top-level window that matches, as dumped."""
        deadline = time.monotonic() + timeout
        seen = []
        while time.monotonic() < deadline:
            seen = self.windows()
            for window in seen:
                if window["class"] == cls and (title is None or window["text"] == title):
                    dumped = self.dump(window["hwnd"])
                    if dumped is not None:
                        return dumped
            time.sleep(0.2)
        shot = self.screenshot("timeout")
        ended = [p.returncode for p in self.processes if p.poll() is not None]
        raise AssertionError(f"no window {title!r} of class {cls} within {timeout} s; "
                             f"last seen: {[w['text'] for w in seen]}; exit codes of ended "
                             f"programs: {ended}; screen: {shot}")

    def wait_gone(self, hwnd, timeout=30):
        """Waits until a window closes, so that the next one looked for is
        not the one that is on its way out."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if all(w["hwnd"] != hwnd for w in self.windows()):
                return
            time.sleep(0.1)
        raise AssertionError(f"window {hwnd} is still open after {timeout} s")

    def answer_boxes(self, process, timeout=60):
        """Presses OK in every message box that comes up until `process`
        ends; the boxes as (caption, text) in the order they came."""
        boxes, other_dialogs = [], set()
        deadline = time.monotonic() + timeout
        while process.poll() is None:
            if time.monotonic() > deadline:
                raise AssertionError(f"the program is still running after {timeout} s; "
                                     f"boxes so far: {boxes}; screen: {self.screenshot('timeout')}")
            for window in self.top_level_dialogs():
                if window["hwnd"] in other_dialogs:
                    continue
                code, out = self.driver("dump", window["hwnd"])
                if code != 0:
                    continue  # closed since it was listed
                dumped = json.loads(out)
                if not any(c["id"] == MESSAGE_BOX_TEXT for c in dumped["children"]):
                    other_dialogs.add(dumped["hwnd"])
                else:
                    boxes.append((dumped["text"], message_box_text(dumped)))
                    self.press(dumped["hwnd"], 1)
                    self.wait_gone(dumped["hwnd"])
            time.sleep(0.1)
        return boxes

    def top_level_dialogs(self):
        return [w for w in self.windows() if w["class"] == DIALOG_CLASS]

    def screenshot(self, label):
        path = os.path.join(self.shot_dir, label + ".png")
        subprocess.run(["import", "-window", "root", path], env=self.env,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
        return path


class StubTestCase(unittest.TestCase):
    """A test class whose cases share one Wine session and one work folder;
    every program a case starts is ended after it."""
    session_name = "stub"

    @classmethod
    def setUpClass(cls):
        cls.session = WineSession(cls.session_name)
        cls.work = tempfile.mkdtemp(prefix="doromi-e2e-")

    @classmethod
    def tearDownClass(cls):
        cls.session.close()
        shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        self.addCleanup(self.session.end_programs)

    def make_case_folder(self):
        """A folder of the case's own to start the stub in, with an empty
        target folder below it."""
        self.case = os.path.join(self.work, self.id().rsplit(".", 1)[-1])
        self.target = os.path.join(self.case, "target")
        os.makedirs(self.target)


def wait_exit(process, timeout=30):
    try:
        return process.wait(timeout)
    except subprocess.TimeoutExpired:
        raise AssertionError(f"process did not end within {timeout} s")


def child(dumped, control_id):
    for control in dumped["children"]:
        if control["id"] == control_id:
            return control
    raise AssertionError(f"no control {control_id}")


MESSAGE_BOX_TEXT = 0xFFFF  # the id of a message box's text


def browse_in(session, browser, path, reopen, rounds=3):
    """Points the folder browser `browser` at `path` with the driver and
    returns the browser (as dumped) whose selection moved there. The driver
    repeats its request for 30 s, since Wine's browser ignores requests
    while it fills its tree after opening; now and then it goes on ignoring
    them for good, and is then cancelled and opened again with `reopen`,
    which returns the new browser."""
    for attempt in range(rounds):
        code, out = session.driver("browse-to", browser["hwnd"], path, timeout=60)
        print(f"browse-to {path}: {out.strip()}", flush=True)
        if code == 0:
            return browser
        if attempt + 1 < rounds:
            session.press(browser["hwnd"], 2)  # Cancel
            session.wait_gone(browser["hwnd"])
            browser = reopen()
    raise AssertionError(f"the folder browser did not move to {path} in {rounds} openings")


def message_box_text(dumped):
    """A message box's text: the static control with id 0xFFFF."""
    return child(dumped, MESSAGE_BOX_TEXT)["text"]


def make_prefix():
    """A fresh private Wine prefix whose programs share one virtual desktop,
    so screenshots show title bars and every program's exit code passes
    through `wine`. The dialogs' font is one that every Windows has whatever
    its language. Wine has no font of that name: without a substitute it
    falls back by the program's code page, to a font with Hangul for a
    Korean program but to a Latin one without Hangul (DejaVu Sans) for an
    English or Japanese one, which draws every Hangul syllable as an empty
    box. The substitute, a Windows setting that Wine applies under every
    code page alike, gives every locale the same font with Hangul, as a
    real Windows would."""
    if os.path.isdir(PREFIX):
        # A server still running on the old prefix would write into the new one.
        subprocess.run(["wineserver", "-k"], env=wine_environment(""), stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=wine_environment(""), stderr=subprocess.DEVNULL)
        shutil.rmtree(PREFIX)
    os.makedirs(PREFIX)
    xvfb = Xvfb()
    env = wine_environment(xvfb.display)
    try:
        subprocess.run([LOADER, "wineboot", "-i"], env=env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        for key, name, value in (
                (r"HKCU\Software\Wine\Explorer", "Desktop", "Default"),
                (r"HKCU\Software\Wine\Explorer\Desktops", "Default", DESKTOP_SIZE),
                (r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontSubstitutes", DIALOG_FONT,
                 DIALOG_FONT_STAND_IN)):
            subprocess.run([LOADER, "reg", "add", key, "/v", name, "/d", value, "/f"], env=env,
                           check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    finally:
        subprocess.run(["wineserver", "-k"], env=env, stderr=subprocess.DEVNULL)
        subprocess.run(["wineserver", "-w"], env=env, stderr=subprocess.DEVNULL)
        xvfb.stop()
    print(f"wine prefix ready: {PREFIX}")


if __name__ == "__main__":
    if sys.argv[1:] == ["make-prefix"]:
        print(describe_choice(), flush=True)
        make_prefix()
    else:
        print("usage: harness.py make-prefix", file=sys.stderr)
        sys.exit(2)
