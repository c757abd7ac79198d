"""The main job: builds a sample self-extracting file from scripts/sample,
runs it under Wine (on the user's X display when there is one, otherwise on
a virtual one), extracts it into a temporary directory through its dialog,
lists what came out and saves screenshots of the dialog."""
import os
import shutil
import subprocess
import sys
import tempfile

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
DEMO_DIR = os.path.join(ROOT, "build", "demo")
os.environ.setdefault("DOROMI_E2E_DIR", DEMO_DIR)  # a prefix of its own, apart from the tests'

from harness import (PREFIX, WineSession, describe_choice, doromi_build, make_prefix, wait_exit,
                     windows_path)  # noqa: E402

SAMPLE = os.path.join(ROOT, "scripts", "sample")
TITLE = "도로미 예제 - 자동풀림 압축파일"
FINISHED = "Finished."


def usable_display():
    display = os.environ.get("DISPLAY")
    if not display:
        return None
    probe = subprocess.run(["xdpyinfo", "-display", display], stdout=subprocess.DEVNULL,
                           stderr=subprocess.DEVNULL)
    return display if probe.returncode == 0 else None


def build_sample(target):
    exe = os.path.join(DEMO_DIR, "도로미-예제.exe")
    doromi_build("-o", exe, "--title", TITLE, "--default-dir", windows_path(target), SAMPLE + "/")
    return exe


def run_through_dialog(session, exe):
    process = session.start(exe, cwd=DEMO_DIR)
    dialog = session.wait_for_window(TITLE)
    print("screenshot:", session.screenshot("1-main-dialog"))
    session.press(dialog["hwnd"], 1)  # 시작
    notice = session.wait_for_window(FINISHED, timeout=60)
    print("screenshot:", session.screenshot("2-finished"))
    session.press(notice["hwnd"], 1)
    print(f"the self-extractor ended with exit code {wait_exit(process)}")


def list_extracted(target):
    print(f"extracted into {target}:")
    same = True
    for dirpath, _, filenames in sorted(os.walk(target)):
        for name in sorted(filenames):
            path = os.path.join(dirpath, name)
            relative = os.path.relpath(path, target)
            with open(path, "rb") as f, open(os.path.join(SAMPLE, relative), "rb") as g:
                verdict = "same as the sample" if f.read() == g.read() else "DIFFERENT"
            same &= verdict != "DIFFERENT"
            print(f"  {relative} ({os.path.getsize(path)} bytes, {verdict})")
    return same


def main():
    print(describe_choice(), flush=True)
    os.makedirs(DEMO_DIR, exist_ok=True)
    target = tempfile.mkdtemp(prefix="doromi-demo-")
    exe = build_sample(target)
    print(f"built {exe}")
    if not os.path.isdir(os.path.join(PREFIX, "drive_c")):
        make_prefix()
    display = usable_display()
    session = WineSession("demo", display=display)
    try:
        run_through_dialog(session, exe)
    finally:
        session.close()
    same = list_extracted(target)
    shutil.rmtree(target)
    return 0 if same else 1


if __name__ == "__main__":
    sys.exit(main())
