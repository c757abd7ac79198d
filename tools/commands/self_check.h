#pragma once
// The check `doromi build` makes of the file it has just written, before
// giving it its final name: the core reads it as the stub will.
#include <string>
#include <vector>

#include "tools/zip_writer/settings_block.h"
#include "tools/zip_writer/zip_writer.h"

// Throws std::runtime_error saying what the stub would stumble over.
// `settings` is null for a file without a settings block.
void SelfCheckCombinedFile(const std::string& path, const SettingsBlock* settings,
                           const std::vector<ZipWrittenMember>& members);
