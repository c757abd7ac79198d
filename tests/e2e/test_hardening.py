"""The stub under attack and under impatient users.

Planted DLL: a downloaded stub runs from a folder full of other downloads,
so a DLL placed beside it under a system DLL's name must not be loaded.
One pass: Start and Close pressed while the pass waits for an answer, then
the answers given late; the pass runs once and leaves every file closed."""
import os
import random
import shutil
import subprocess
import time

from combined import wrong_passwords, write_combined, zip_archive
from fixed_values import (IDC_BROWSE, IDC_CLOSE, IDC_EXISTS_QUESTION, IDC_EXTRACT_DIR, IDC_MEMBER_LIST,
                          IDC_PASSWORD, IDC_START, IDOK)
from harness import DRIVER, LOADER, PROGRAM_DIR, StubTestCase, browse_in, child, wait_exit, windows_path
from test_dialogs import (ALL_EXTRACTED, FILE_EXISTS, FINISHED, MAIN_TITLE, PASSWORD_TITLE,
                          QUESTION_TITLE, DialogTestCase)

PLANTED_DLL = os.path.join(PROGRAM_DIR, "e2e-planted.dll")
PLANTED_RECORD = "planted-loaded.txt"
# uxtheme.dll: the first window of the stub loads it by name, after the
# stub's entry has run; on Windows it is not one of the known DLLs that the
# loader always takes from the system directory, so a copy beside a program
# is found first, a classic planting target.
PLANTED_NAME = "uxtheme.dll"
# Wine prefers its own built-in DLL to a file of the same name that the
# search finds; native-first makes it load the file found, as Windows does.
# Wine's loader resolves the delay-loaded imports of its own DLLs (msimg32,
# for example) with the process's initial search path, which ignores
# SetDefaultDllDirectories; a DLL planted under such a name is loaded under
# Wine whatever the stub does, so such names cannot show anything here.
NATIVE_FIRST = {"WINEDLLOVERRIDES": "mscoree,mshtml=;uxtheme=n,b"}
BROWSER_CAPTION = "압축 풀 디렉토리 : "
START, CLOSE, OK, BROWSE, EDIT, MEMBERS, PASSWORD = (IDC_START, IDC_CLOSE, IDOK, IDC_BROWSE, IDC_EXTRACT_DIR,
                                                    IDC_MEMBER_LIST, IDC_PASSWORD)
LATE = 3  # seconds an answer waits while Start and Close are in the queue


def planted_loads(folder):
    """The distinct lines the planted DLL recorded in `folder` (a process
    that fails to load it may try again and again)."""
    path = os.path.join(folder, PLANTED_RECORD)
    if not os.path.exists(path):
        return []
    with open(path, encoding="utf-8") as record:
        return sorted(set(record.read().splitlines()))


def plant(folder):
    shutil.copy(PLANTED_DLL, os.path.join(folder, PLANTED_NAME))


class PlantedDllTest(StubTestCase):
    session_name = "planted-dll"

    def folder(self, name):
        path = os.path.join(self.work, name)
        os.makedirs(path)
        plant(path)
        return path

    # Shows that the planted DLL and Wine's settings here do reveal a
    # planted load: without it the stub's case would pass for a DLL that is
    # never loaded at all.
    def test_a_program_that_does_not_narrow_the_search_loads_the_planted_dll(self):
        folder = self.folder("control")
        program = shutil.copy(DRIVER, os.path.join(folder, "program.exe"))
        with open(os.path.join(folder, "out.txt"), "wb") as out:
            subprocess.run([LOADER, program, "load-library", PLANTED_NAME],
                           env={**self.session.env, **NATIVE_FIRST}, stdout=out,
                           stderr=subprocess.DEVNULL, timeout=60)
        self.assertIn("dll=" + windows_path(os.path.join(folder, PLANTED_NAME)), planted_loads(folder))

    def test_stub_loads_the_system_dll_instead_of_the_one_beside_it(self):
        folder = self.folder("stub")
        target = os.path.join(folder, "target")
        exe = write_combined(os.path.join(folder, "setup.exe"),
                             archive=zip_archive({"readme.txt": b"read me\r\n"}))
        trace_path = os.path.join(folder, "trace.txt")
        with open(trace_path, "w") as trace:
            # The stub's folder is its current directory too.
            process = self.session.start(exe, cwd=folder, env={**NATIVE_FIRST, "WINEDEBUG": "+loaddll"},
                                         log=trace)
        main = self.session.wait_for_window(MAIN_TITLE)
        self.assertEqual(planted_loads(folder), [])
        # The folder browser, which brings the shell's own code in, pointed
        # at the folder that holds the planted DLL.
        def open_browser():
            self.session.press(main["hwnd"], BROWSE)
            return self.session.wait_for_window(BROWSER_CAPTION)

        browser = browse_in(self.session, open_browser(), windows_path(folder), open_browser)
        self.session.screenshot("browser-beside-a-planted-dll")
        self.session.press(browser["hwnd"], 2)
        self.session.wait_gone(browser["hwnd"])
        self.session.set_text(main["hwnd"], EDIT, windows_path(target))
        self.session.press(main["hwnd"], START)
        notice = self.session.wait_for_window(FINISHED)
        self.session.press(notice["hwnd"], OK)
        self.assertEqual(wait_exit(process), 0)
        with open(os.path.join(target, "readme.txt"), "rb") as f:
            self.assertEqual(f.read(), b"read me\r\n")

        self.assertEqual(planted_loads(folder), [])
        with open(trace_path, encoding="utf-8", errors="replace") as f:
            loads = [line for line in f if "trace:loaddll:build_module Loaded" in line]
        # The stub did load a DLL of that name, and it came from the system
        # directory; nothing but the program itself came from its folder.
        self.assertTrue(any("\\\\system32\\\\" + PLANTED_NAME in line.lower() for line in loads), loads)
        beside = windows_path(folder).replace("\\", "\\\\")
        self.assertEqual([line for line in loads if beside in line and "setup.exe" not in line], [])


def pseudo_random(seed, size):
    generator = random.Random(seed)
    # Half random bytes, half text: deflate has work of both kinds.
    return generator.randbytes(size // 2) + b"line of text\r\n" * (size // 28)


class PassInstanceTest(DialogTestCase):
    """While a question of the pass is open (it has no owner, so the main
    dialog stays enabled), Start and Close are pressed on the main dialog;
    the pass ignores the Start, remembers the Close, and goes on when the
    question is answered late."""
    session_name = "pass-instance"

    def assert_closed(self, name, data):
        """The stub holds `name` no longer: another program may open it for
        deletion without sharing, and it is complete."""
        path = os.path.join(self.target, name)
        code, _ = self.session.driver("hold", windows_path(path), "0", "delete", "share-none")
        self.assertEqual(code, 0, f"{name} is still held open")
        self.assertEqual(self.content(name), data, name)

    def start_and_close_during(self, dialog, question):
        """Presses Start and Close on the main dialog while `question` is
        up; the Close is handled at once (the dialog hides) but the pass
        goes on, and no second pass asks anything."""
        self.session.press(dialog["hwnd"], START)
        self.session.press(dialog["hwnd"], CLOSE)
        deadline = time.monotonic() + 15
        while self.session.dump(dialog["hwnd"])["visible"] and time.monotonic() < deadline:
            time.sleep(0.2)
        self.assertFalse(self.session.dump(dialog["hwnd"])["visible"], "Close was not handled")
        time.sleep(LATE)
        titles = [w["text"] for w in self.session.top_level_dialogs()]
        self.assertEqual(titles, [question["text"]])

    def next_window(self, titles, timeout=30):
        """The next of the stub's dialogs with one of `titles`, as dumped."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            for window in self.session.top_level_dialogs():
                if window["text"] in titles:
                    dumped = self.session.dump(window["hwnd"])
                    if dumped is not None:
                        return dumped
            time.sleep(0.2)
        self.fail(f"none of {titles} appeared; screen: {self.session.screenshot('timeout')}")

    def test_overwrite_questions_answered_late_after_start_and_close(self):
        files = {"one.bin": pseudo_random(1, 300_000), "docs/two.txt": b"two\r\n" * 100,
                 "three.bin": pseudo_random(3, 200_000)}
        self.start(zip_archive(files))
        self.existing("one.bin")
        self.existing("three.bin")
        dialog = self.main_dialog()
        self.session.press(dialog["hwnd"], START)
        question = self.session.wait_for_window(QUESTION_TITLE)
        # While the pass asks, the file in question is neither open nor cut.
        self.assert_closed("one.bin", b"old")
        self.start_and_close_during(dialog, question)
        asked = []
        while True:
            window = self.next_window((QUESTION_TITLE, FINISHED))
            if window["text"] == FINISHED:
                break
            asked.append(child(window, IDC_EXISTS_QUESTION)["text"])
            self.session.screenshot(f"question-{len(asked)}")
            time.sleep(LATE if len(asked) == 1 else 1)
            self.session.press(window["hwnd"], OK)
            self.session.wait_gone(window["hwnd"])
        self.assertEqual(asked, ["one.bin" + FILE_EXISTS, "three.bin" + FILE_EXISTS])
        # The pass is over, the process still runs: every member counted
        # done once, every file complete and closed.
        self.assertEqual(child(window, 0xFFFF)["text"], ALL_EXTRACTED)
        self.assertEqual(child(self.session.dump(dialog["hwnd"]), MEMBERS)["selected"], [])
        for name, data in files.items():
            self.assert_closed(name, data)
        self.session.press(window["hwnd"], OK)
        self.assertEqual(wait_exit(self.process), 0)

    def mixed_archive(self, password):
        """A plain member, then an encrypted one: the prompt comes after a
        file has been written."""
        files = {"first.txt": b"written before the prompt\r\n" * 50,
                 "secret.bin": pseudo_random(7, 100_000)}
        source = os.path.join(self.case, "source")
        os.makedirs(source)
        for name, data in files.items():
            with open(os.path.join(source, name), "wb") as f:
                f.write(data)
        archive = os.path.join(self.case, "mixed.zip")
        subprocess.run(["zip", "-q", "-X", archive, "first.txt"], cwd=source, check=True)
        subprocess.run(["zip", "-q", "-X", "-P", password, archive, "secret.bin"], cwd=source,
                       check=True)
        with open(archive, "rb") as f:
            return files, f.read()

    def prompt_after_start(self, archive):
        self.start(archive)
        dialog = self.main_dialog()
        self.session.press(dialog["hwnd"], START)
        return dialog, self.session.wait_for_window(PASSWORD_TITLE)

    def answer_prompt(self, prompt, password):
        self.session.set_text(prompt["hwnd"], PASSWORD, password)
        self.session.press(prompt["hwnd"], OK)
        self.session.wait_gone(prompt["hwnd"])

    def test_password_given_late_after_start_and_close(self):
        files, archive = self.mixed_archive("sesame")
        dialog, prompt = self.prompt_after_start(archive)
        self.assert_closed("first.txt", files["first.txt"])
        self.assertFalse(os.path.exists(os.path.join(self.target, "secret.bin")))
        self.start_and_close_during(dialog, prompt)
        self.answer_prompt(prompt, "sesame")
        notice = self.next_window((PASSWORD_TITLE, FINISHED))
        self.assertEqual(notice["text"], FINISHED)
        self.assertEqual(child(self.session.dump(dialog["hwnd"]), MEMBERS)["selected"], [])
        for name, data in files.items():
            self.assert_closed(name, data)
        self.session.press(notice["hwnd"], OK)
        self.assertEqual(wait_exit(self.process), 0)

    # Three wrong answers end the pass with the encrypted member left
    # selected; without the Close the dialog would stay open for a retry.
    def test_close_during_the_prompt_ends_the_dialog_after_a_failed_pass(self):
        files, archive = self.mixed_archive("sesame")
        dialog, prompt = self.prompt_after_start(archive)
        self.start_and_close_during(dialog, prompt)
        for number, wrong in enumerate(wrong_passwords(archive, 3)):
            if number:
                prompt = self.session.wait_for_window(PASSWORD_TITLE)
            self.answer_prompt(prompt, wrong)
        # No fourth prompt and no message: the pass is over, and the Close
        # ends the dialog.
        self.assertEqual(wait_exit(self.process), 0)
        self.assertEqual(self.content("first.txt"), files["first.txt"])
        self.assertFalse(os.path.exists(os.path.join(self.target, "secret.bin")))


if __name__ == "__main__":
    import unittest
    unittest.main()
