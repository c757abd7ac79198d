"""The finished stub's imports, read from the image with the cross
toolchain's objdump. The loader resolves static imports before the stub's
first instruction, so before the stub can narrow the DLL search: they must
all be DLLs that Windows always takes from its system directory (its known
DLLs), and nothing may be delay-loaded. Every call that Windows has in a
wide (W) and an ANSI (A) form is imported in its wide form: the ANSI forms
pass texts through the code page of whoever runs the stub."""
import functools
import os
import re
import subprocess
import unittest

from stub_image import ARCH, PATHS_STUB, STUB, binutil

# Known DLLs of every Windows version since XP; a program's folder is never
# searched for them. comctl32, version and uxtheme, for example, are not.
KNOWN_DLLS = {"advapi32.dll", "comdlg32.dll", "gdi32.dll", "imm32.dll", "kernel32.dll",
              "msvcrt.dll", "ole32.dll", "oleaut32.dll", "rpcrt4.dll", "shell32.dll",
              "shlwapi.dll", "user32.dll"}
# Calls that older Windows versions lack: imported statically, they would
# keep the stub from starting there at all, so it looks them up.
LOOKED_UP = {"SetDefaultDllDirectories", "SetDllDirectoryA"}


def private_headers(image=STUB):
    return subprocess.run([binutil("objdump"), "-p", image], capture_output=True, text=True,
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


@functools.lru_cache(maxsize=None)
def exports_of(dll):
    """The names `dll` exports, read from the cross toolchain's import
    library for it (its `__imp_` symbols; 32-bit names carry a leading
    underscore and a stdcall suffix that the import table has not)."""
    library = subprocess.run([binutil("gcc"), "-print-file-name=lib" + dll.removesuffix(".dll") + ".a"],
                             capture_output=True, text=True, check=True).stdout.strip()
    if not os.path.isabs(library):
        raise FileNotFoundError(f"no import library for {dll}")
    symbols = subprocess.run([binutil("nm"), library], capture_output=True, text=True, check=True).stdout
    prefix = "__imp__" if ARCH == "win32" else "__imp_"
    return frozenset(re.sub(r"@\d+$", "", name[len(prefix):])
                     for name in re.findall(r" I (\S+)$", symbols, re.M) if name.startswith(prefix))


def ansi_calls_with_wide_twins(imports):
    """The imported `dll!nameA` whose DLL also exports `nameW`."""
    return sorted(f"{dll}!{name}" for dll, names in imports.items() for name in names
                  if name.endswith("A") and name[:-1] + "W" in exports_of(dll))


class StaticImportTest(unittest.TestCase):
    maxDiff = None

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

    def test_calls_with_a_wide_form_are_imported_in_it(self):
        # The import libraries must be read right, or nothing would have a twin.
        self.assertLessEqual({"CreateFileA", "CreateFileW", "GetProcAddress"}, exports_of("kernel32.dll"))
        self.assertEqual(ansi_calls_with_wide_twins(self.imports), [])

    # The path log reads its file's name from the environment; only the test
    # copy of the stub has it.
    def test_only_the_test_copy_logs_paths(self):
        logging = imports_by_dll(private_headers(PATHS_STUB))["kernel32.dll"]
        self.assertIn("GetEnvironmentVariableW", logging)
        self.assertNotIn("GetEnvironmentVariableW", self.imports["kernel32.dll"])


if __name__ == "__main__":
    unittest.main()
