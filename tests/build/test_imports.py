"""The finished stub's imports, read from the image with the cross
toolchain's objdump. The loader resolves static imports before the stub's
first instruction, so before the stub can narrow the DLL search: they must
all be DLLs that Windows always takes from its system directory (its known
DLLs), and nothing may be delay-loaded."""
import re
import subprocess
import unittest

from stub_image import STUB, binutil

# Known DLLs of every Windows version since XP; a program's folder is never
# searched for them. comctl32, version and uxtheme, for example, are not.
KNOWN_DLLS = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll",
              "msvcrt.dll", "ole32.dll", "oleaut32.dll", "rpcrt4.dll", "shell32.dll",
              "shlwapi.dll", "user32.dll"}
# Calls that older Windows versions lack: imported statically, they would
# keep the stub from starting there at all, so it looks them up.
LOOKED_UP = {"SetDefaultDllDirectories", "SetDllDirectoryA"}


def private_headers():
    return subprocess.run([binutil("objdump"), "-p", STUB], capture_output=True, text=True,
                          check=True).stdout


def imports_by_dll(headers):
    """{dll name in lower case: [imported function names]} from objdump's
    import tables."""
    imports, current = {}, None
    for line in headers.splitlines():
        named = re.match(r"\s*DLL Name: (\S+)", line)
        if named:
            current = imports.setdefault(named.group(1).lower(), [])
            continue
        entry = re.match(r"\s*[0-9a-f]+\s+\d+\s+(\w+)$", line)
        if current is not None and entry:
            current.append(entry.group(1))
        elif not line.strip():
            current = None
    return imports


class StaticImportTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.headers = private_headers()
        cls.imports = imports_by_dll(cls.headers)

    def test_only_known_system_dlls_are_imported(self):
        self.assertIn("kernel32.dll", self.imports)
        self.assertEqual(sorted(set(self.imports) - KNOWN_DLLS), [])

    def test_nothing_is_delay_loaded(self):
        entry = re.search(r"Entry d ([0-9a-f]+) ([0-9a-f]+) Delay Import Directory", self.headers)
        self.assertIsNotNone(entry, "objdump printed no delay-import entry")
        self.assertEqual(int(entry.group(2), 16), 0)

    def test_calls_missing_from_older_windows_are_looked_up_not_imported(self):
        kernel = self.imports["kernel32.dll"]
        self.assertIn("GetProcAddress", kernel)
        self.assertEqual(sorted(LOOKED_UP & set(name for names in self.imports.values()
                                                for name in names)), [])


if __name__ == "__main__":
    unittest.main()
