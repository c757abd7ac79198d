#pragma once
// The settings block that the builder of a combined file puts right after
// the stub image: magic "MPU", a flags byte, the lengths of three texts and
// the texts themselves (title, default directory, run command).

// Reads the block into Sfx and sets Sfx.ArchiveBase; without a block every
// setting keeps its initial value and the archive's size is not checked.
// A block checks the size unless its flags turn the check off; a failed
// check ends the process, before the texts are read.
void ReadSettings();
