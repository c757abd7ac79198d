"""Runs the built self-extractor under Wine on a virtual display, saves a
screenshot of its main dialog, closes it and reports the exit code."""
import os
import sys

from harness import PREFIX, STUB, WineSession, make_prefix, wait_exit

MAIN_TITLE = "도로미 자동풀림 압축파일 "


def main():
    if not os.path.isdir(os.path.join(PREFIX, "drive_c")):
        make_prefix()
    session = WineSession("demo")
    try:
        process = session.start(STUB, cwd=os.path.dirname(STUB))
        dialog = session.wait_for_window(MAIN_TITLE)
        shot = session.screenshot("main-dialog")
        print(f"main dialog up: \"{dialog['text']}\" with {len(dialog['children'])} controls")
        print(f"screenshot: {shot}")
        session.press(dialog["hwnd"], 2)
        print(f"closed; exit code {wait_exit(process)}")
    finally:
        session.close()


if __name__ == "__main__":
    sys.exit(main())
