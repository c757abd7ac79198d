"""Sizes and control ids that the tests share, each written once.

The stub's image size and where the archive starts after a settings block
are what the combined file's layout promises; the tests hold the product
to them. The dialogs' control ids are taken from ui/control_ids.h, which
the stub and its dialog templates are compiled with, as IDC_... names."""
import pathlib
import re

STUB_SIZE = 40448  # the stub's image, padded; the archive or the settings block follows it
SETTINGS_BLOCK_SIZE = 256
ARCHIVE_OFFSET = STUB_SIZE + SETTINGS_BLOCK_SIZE  # 40704: the archive after a settings block

# Windows' own ids of a dialog's default and cancel buttons (and a message box's).
IDOK = 1
IDCANCEL = 2

_CONTROL_IDS = pathlib.Path(__file__).resolve().parent.parent / "ui" / "control_ids.h"
CONTROL_IDS = {name: int(value) for name, value in
               re.findall(r"^#define (IDC_\w+) (\d+)$", _CONTROL_IDS.read_text(), re.M)}
globals().update(CONTROL_IDS)
