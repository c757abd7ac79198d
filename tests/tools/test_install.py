"""doromi installed like any Linux tool: into a prefix with cmake --install,
where it finds its stub under share/ from any folder; the Debian package's
files and fields; the manual page, which renders without warnings and
describes every option of every --help; one version everywhere."""
import glob
import gzip
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(__file__))
from tool_helpers import ROOT, STUB, ToolTestCase, run, sample_files  # noqa: E402

BUILD_DIR = os.environ.get("DOROMI_BUILD_DIR", os.path.join(ROOT, "build", "native"))
with open(os.path.join(ROOT, "CMakeLists.txt")) as cmake_lists:
    VERSION = re.search(r"project\(doromi VERSION (\S+)", cmake_lists.read()).group(1)
TOOL, INSTALLED_STUB, PAGE = "bin/doromi", "share/doromi/doromi-sfx.exe", "share/man/man1/doromi.1.gz"


def output(*command, **options):
    return subprocess.run(command, check=True, capture_output=True, text=True, **options).stdout


def read(path):
    with open(path, "rb") as f:
        return f.read()


class InstallTest(ToolTestCase):
    @classmethod
    def setUpClass(cls):
        cls.prefix = tempfile.mkdtemp(prefix="doromi-prefix-")
        output("cmake", "--install", BUILD_DIR, "--prefix", cls.prefix)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.prefix)

    def installed(self, path):
        return os.path.join(self.prefix, path)

    def test_installed_tool_makes_inspects_and_extracts_from_elsewhere(self):
        files = sample_files()
        source = self.tree(files)
        elsewhere = self.path("elsewhere")
        os.mkdir(elsewhere)
        doromi = self.installed(TOOL)
        output(doromi, "build", "-o", "out.exe", source, cwd=elsewhere)
        self.assertEqual(read(self.installed(INSTALLED_STUB)), read(STUB))
        self.assertTrue(read(os.path.join(elsewhere, "out.exe")).startswith(read(STUB)))
        report = json.loads(output(doromi, "info", "out.exe", "--json", cwd=elsewhere))
        self.assertTrue(report["size_check"]["matches"])
        output(doromi, "extract", "out.exe", "-d", "got", "-q", cwd=elsewhere)
        for name, data in files.items():
            if data is not None:
                self.assertEqual(read(os.path.join(elsewhere, "got", "입력", name)), data, name)

    def test_tool_without_its_stub_names_both_places(self):
        lone = self.path("lone", "bin", "doromi")
        os.makedirs(os.path.dirname(lone))
        shutil.copy(self.installed(TOOL), lone)
        result = subprocess.run([lone, "build", "-o", self.path("out.exe"), self.tree()], capture_output=True, text=True)
        self.assertEqual(result.returncode, 1)
        for place in ("lone/bin/doromi-sfx.exe", "lone/share/doromi/doromi-sfx.exe"):
            self.assertIn(self.path(place), result.stderr)

    def test_package_holds_the_tool_its_stub_and_its_page(self):
        output("cpack", "-G", "DEB", "--config", os.path.join(BUILD_DIR, "CPackConfig.cmake"), "-B", self.work,
               "-D", "CPACK_OUTPUT_FILE_PREFIX=" + self.work)
        [deb] = glob.glob(self.path(f"doromi_{VERSION}_*.deb"))
        listing = output("dpkg-deb", "-c", deb)
        for path in (TOOL, INSTALLED_STUB, PAGE):
            self.assertRegex(listing, r"\./usr/" + re.escape(path) + "\n")
        fields = dict(line.split(": ", 1) for line in
                      output("dpkg-deb", "-f", deb, "Package", "Version", "Depends", "Recommends").splitlines())
        self.assertEqual((fields["Package"], fields["Version"], fields["Recommends"]), ("doromi", VERSION, "osslsigncode"))
        for library in ("zlib1g", "libdeflate0", "libnettle8", "libarchive13"):
            self.assertRegex(fields["Depends"], rf"(^|, ){library}\b")
        stub = subprocess.run(f"dpkg-deb --fsys-tarfile '{deb}' | tar -xO ./usr/{INSTALLED_STUB}", shell=True,
                              check=True, capture_output=True).stdout
        self.assertEqual(stub, read(STUB))

    def test_manual_page_renders_cleanly_and_describes_every_option(self):
        page = subprocess.run(["man", "--warnings", "-E", "UTF-8", "-l", self.installed(PAGE)], capture_output=True,
                              text=True, env=dict(os.environ, MANWIDTH="200"))
        self.assertEqual((page.returncode, page.stderr), (0, ""))
        options = set()
        for command in ([], ["build"], ["info"], ["extract"]):
            terms = re.findall(r"^  (-\S.*?)(?:  |$)", run(*command, "--help").out, re.MULTILINE)
            options.update(re.findall(r"--?[\w-]+", " ".join(terms)))
        self.assertLessEqual({"--version", "--zip", "--json", "--only", "-d"}, options)
        for option in options:
            self.assertRegex(page.stdout, rf"(?<![\w-]){option}(?![\w-])")

    def test_one_version_everywhere(self):
        self.assertEqual(run("--version").out, f"doromi {VERSION}\n")
        with gzip.open(self.installed(PAGE), "rt") as page:
            self.assertIn(f'"doromi {VERSION}"', page.readline())


if __name__ == "__main__":
    unittest.main()
