"""The manifest inside the finished stub, read back from the image with the
cross toolchain's resource tool: run as invoker, common controls 6, DPI
aware, long-path aware, and well-formed XML."""
import re
import subprocess
import unittest
import xml.etree.ElementTree as ElementTree

from stub_image import ARCH, STUB, binutil

ASM_V1 = "{urn:schemas-microsoft-com:asm.v1}"
ASM_V3 = "{urn:schemas-microsoft-com:asm.v3}"


def manifest_from_image():
    rc = subprocess.run([binutil("windres"), "-i", STUB, "-O", "rc"], capture_output=True,
                        text=True, check=True).stdout
    block = rc[rc.index("1 24 /* RT_MANIFEST */"):]
    block = block[block.index("BEGIN") + 5:block.index("\nEND")]
    pieces = re.findall(r'"((?:[^"]|"")*)"', block)
    return "".join(p.replace('""', '"') for p in pieces).encode().decode("unicode_escape")


class ManifestTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = ElementTree.fromstring(manifest_from_image().encode())

    def test_runs_as_invoker(self):
        level = self.root.find(f".//{ASM_V3}requestedExecutionLevel")
        self.assertEqual(level.get("level"), "asInvoker")

    def test_asks_for_common_controls_6(self):
        identities = self.root.findall(f"{ASM_V1}dependency/{ASM_V1}dependentAssembly/{ASM_V1}assemblyIdentity")
        self.assertEqual([(i.get("name"), i.get("version")) for i in identities],
                         [("Microsoft.Windows.Common-Controls", "6.0.0.0")])

    # A 64-bit process given the x86 common controls cannot load them, and
    # its dialogs fail to open.
    def test_names_the_images_processor(self):
        expected = {"win32": "x86", "win64": "amd64"}[ARCH]
        identities = list(self.root.iter(f"{ASM_V1}assemblyIdentity"))
        self.assertEqual(len(identities), 2)
        for identity in identities:
            self.assertEqual(identity.get("processorArchitecture"), expected, identity.get("name"))

    # Each setting in the namespace of the Windows version that reads it.
    def test_window_settings(self):
        for namespace, setting in (("2005", "dpiAware"), ("2016", "longPathAware")):
            element = self.root.find(f".//{{http://schemas.microsoft.com/SMI/{namespace}/WindowsSettings}}{setting}")
            self.assertIsNotNone(element, setting)
            self.assertEqual(element.text, "true", setting)


if __name__ == "__main__":
    unittest.main()
