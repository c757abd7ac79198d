"""One combined file under the Korean, English and Japanese code pages, and
started from places whose names the code page cannot hold: every text the
stub shows (title, controls, list, boxes) is the same Korean, the files it
writes have the same names, and its label and list look the same."""
import json
import os
import re
import shutil
import subprocess
import time

from harness import DOROMI, LOCALES, StubTestCase, child, doromi_build, tree, wait_exit, windows_path, write_tree
from test_dialogs import ALL_EXTRACTED, FINISHED
from fixed_values import IDC_DIR_LABEL, IDC_EXTRACT_DIR, IDC_MEMBER_LIST, IDC_START  # noqa: E402 (harness puts tests/ on the path)
from test_startup import MAIN_CONTROLS

TITLE = "설치 프로그램"
SOURCE = {"안내.txt": "안내문\r\n".encode(), "문서/설명.txt": "설명서\r\n".encode(), "plain.txt": b"plain\r\n"}
KOREAN, ENGLISH, JAPANESE = LOCALES[949], LOCALES[1252], LOCALES[932]
START, EDIT, MEMBERS, LABEL = IDC_START, IDC_EXTRACT_DIR, IDC_MEMBER_LIST, IDC_DIR_LABEL


class LocaleTest(StubTestCase):
    session_name = "locales"
    maxDiff = None

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        source = os.path.join(cls.work, "source")
        write_tree(source, SOURCE)
        cls.exe = os.path.join(cls.work, "built.exe")
        doromi_build("-o", cls.exe, "--title", TITLE, source + "/", capture_output=True)
        # The members in archive order, named as the tool that wrote them reads them.
        info = subprocess.run([DOROMI, "info", "--json", cls.exe], capture_output=True, check=True)
        cls.members = [member["name"] for member in json.loads(info.stdout)["members"]]

    def expected(self, target):
        """What every run shows and writes: the Korean texts of the main
        dialog with the target typed in, the archive's members, the one
        closing box, and the source's files."""
        texts = [(i, windows_path(target) if i == EDIT else text) for i, _, text in MAIN_CONTROLS]
        return {"title": TITLE, "controls": texts, "items": self.members,
                "boxes": [(FINISHED, ALL_EXTRACTED)], "files": SOURCE}

    def run_stub(self, locale, folder, name, shot=None):
        """Starts a copy of the built file named `name` in `folder` under
        `locale`, types in `folder`/target, presses Start and answers the
        boxes; what it showed and wrote (as in `expected`), and the main
        dialog as dumped (a screenshot of it in `shot`). A stub that shows
        a box instead of its main dialog has the box answered, and no
        title, controls or items."""
        self.session.end_programs()  # a stub that a failed run left waiting
        target = os.path.join(folder, "target")
        shutil.rmtree(target, ignore_errors=True)
        os.makedirs(target)
        exe = os.path.join(folder, name)
        shutil.copyfile(self.exe, exe)
        process = self.session.start(exe, cwd=folder, locale=locale)
        first = self.session.wait_for_window()
        main, seen = None, {"title": None, "controls": [], "items": None}
        if any(c["id"] == EDIT for c in first["children"]):
            self.session.set_text(first["hwnd"], EDIT, windows_path(target))
            main = self.session.dump(first["hwnd"])
            if shot:
                time.sleep(0.5)  # the edit's new text painted
                self.session.screenshot(shot)
            self.session.press(first["hwnd"], START)
            seen = {"title": main["text"], "controls": [(c["id"], c["text"]) for c in main["children"]],
                    "items": child(main, MEMBERS)["items"]}
        seen["boxes"] = self.session.answer_boxes(process)
        self.assertEqual(wait_exit(process), 0)
        seen["files"] = tree(target)
        return seen, main

    def test_same_texts_files_and_look_under_every_code_page(self):
        folder = os.path.join(self.work, "every-code-page")
        os.makedirs(folder)
        mains = {}
        for locale in (KOREAN, ENGLISH, JAPANESE):
            with self.subTest(locale):
                seen, mains[locale] = self.run_stub(locale, folder, "setup.exe", shot="main-" + locale)
                self.assertEqual(seen, self.expected(os.path.join(folder, "target")))
        shots = [os.path.join(self.session.shot_dir, f"main-{locale}.png") for locale in (KOREAN, ENGLISH)]
        print("main dialog, Korean and English:", *shots, flush=True)
        for control in (LABEL, MEMBERS):
            with self.subTest(control=control):
                if not (mains.get(KOREAN) and mains.get(ENGLISH)):
                    self.fail("no main dialog to compare")
                rects = [child(mains[locale], control)["rect"] for locale in (KOREAN, ENGLISH)]
                self.assertEqual(rects[0], rects[1])
                self.assertEqual(differing_pixels(*shots, rects[0], f"{control}-diff"), 0)

    def test_starts_from_a_name_or_folder_the_code_page_cannot_hold(self):
        for locale, folder, name in ((ENGLISH, "english", "설치.exe"), (KOREAN, "José", "setup.exe")):
            with self.subTest(locale=locale, name=os.path.join(folder, name)):
                folder = os.path.join(self.work, folder)
                os.makedirs(folder)
                seen, _ = self.run_stub(locale, folder, name)
                self.assertEqual(seen, self.expected(os.path.join(folder, "target")))


def differing_pixels(first, second, rect, label):
    """How many pixels of the screen rectangle `rect` (left, top, right,
    bottom) differ between two screenshots; the difference is drawn into
    a picture beside the first."""
    left, top, right, bottom = rect
    crop = f"[{right - left}x{bottom - top}+{left}+{top}]"
    diff = os.path.join(os.path.dirname(first), label + ".png")
    result = subprocess.run(["compare", "-metric", "AE", first + crop, second + crop, diff],
                            capture_output=True, text=True)
    count = re.fullmatch(r"\s*(\d+)\s*", result.stderr)
    if result.returncode > 1 or not count:
        raise RuntimeError(f"compare failed: {result.stderr.strip()}")
    return int(count.group(1))
