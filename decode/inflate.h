#pragma once
// The inflate decoder (RFC 1951) for members stored with method 8.
#include "decode/decode_table.h"

// Decodes one member: reads Sfx.CompressedLeft compressed bytes from
// Sfx.ArchiveHandle (decrypted when the member is encrypted), writes the
// output to Sfx.OutputHandle and folds it into Sfx.RunningCrc. Reports
// nothing: the CRC comparison afterwards is the verdict on the member.
// Every buffer and table is released when it returns.
void InflateMember();

// InflateMember, telling how decoding ended: kInflateOk after the last
// block, otherwise the first failure. For tests and fuzzing.
InflateStatus DecodeMember();
