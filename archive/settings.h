#pragma once
// The settings block that the builder of a combined file puts right after
// the stub image: magic "MPU", a flags byte, the lengths of three texts and
// the texts themselves (title, default directory, run command).

// Reads the block into Sfx and sets Sfx.ArchiveBase; without a block every
// setting keeps its initial value. Unless the block turns it off, checks
// the archive's size first, which ends the process when the check fails.
void ReadSettings();
