"""The finished stub image a build check reads, and the cross binutils that
read it: the product (32-bit) unless DOROMI_STUB_ARCH=win64 names its
64-bit twin."""
import os

ROOT = os.path.abspath(os.path.join(os.path.dirname(__file__), "..", ".."))
_IMAGES = {
    "win32": ("build/out/doromi-sfx.exe", "i686-w64-mingw32-"),
    "win64": ("build/out/win64/doromi-sfx.exe", "x86_64-w64-mingw32-"),
}
ARCH = os.environ.get("DOROMI_STUB_ARCH", "win32")
STUB = os.path.join(ROOT, _IMAGES[ARCH][0])
# The test copy of the stub that logs the paths of its file calls.
PATHS_STUB = os.path.join(os.path.dirname(STUB), "e2e-sfx-paths.exe")


def binutil(name):
    """The cross tool `name` (objdump, windres, ...) for the image's architecture."""
    return _IMAGES[ARCH][1] + name
