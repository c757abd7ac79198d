"""Archives that `doromi build --zip` rewrites before the stub can walk
them (a jar, whose members' sizes follow their data; a zip written to a
pipe; a zip of LZMA members, recompressed) extract under Wine to the tree
they were made from."""
import os
import subprocess
import zipfile

from harness import StubTestCase, doromi_build, tree, wait_exit, windows_path, write_tree
from zip_reading import NonSeekable

FILES = {
    "META-INF/MANIFEST.MF": b"Manifest-Version: 1.0\r\nMain-Class: app.Main\r\n\r\n",
    "app/Main.class": bytes(range(256)) * 40,
    "app/res/strings.txt": b"hello from the resources\n" * 300,
    "app/empty.txt": b"",
}


class OtherZipsTest(StubTestCase):
    session_name = "other_zips"

    def setUp(self):
        super().setUp()
        self.make_case_folder()
        self.source = os.path.join(self.case, "source")
        write_tree(self.source, FILES)

    def jar(self, archive):
        stream = NonSeekable()
        with zipfile.ZipFile(stream, "w", zipfile.ZIP_DEFLATED) as z:
            for name, data in FILES.items():  # the manifest first, as jar writes it
                z.writestr(name, data)
        with open(archive, "wb") as f:
            f.write(stream.data)

    def test_rewritten_archives_extract_through_the_stub(self):
        def shell(command):
            return lambda archive: subprocess.run(command.format(a=archive), shell=True, cwd=self.source,
                                                  check=True, capture_output=True)

        cases = {"jar": (self.jar, "rewritten"),
                 "streamed zip": (shell("zip -qr - . | cat > {a}"), "rewritten"),
                 "lzma zip": (shell("7z a -tzip -bd -m0=lzma {a} ."), "recompressed")}
        for label, (make, outcome) in cases.items():
            with self.subTest(label):
                subprocess.run(["rm", "-rf", self.target], check=True)
                os.makedirs(self.target)
                archive = os.path.join(self.case, label.replace(" ", "_") + ".zip")
                exe = archive[:-4] + ".exe"
                make(archive)
                built = doromi_build("-o", exe, "--auto-start", "--default-dir", windows_path(self.target),
                                     "--zip", archive, capture_output=True, text=True)
                self.assertIn(outcome, built.stdout)
                process = self.session.start(exe, cwd=self.work)
                self.assertEqual(wait_exit(process, timeout=120), 0)
                self.assertEqual(tree(self.target), FILES)
