#include "tools/commands/self_check.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <stdexcept>

#include "archive/extraction_pass.h"
#include "archive/settings.h"
#include "archive/size_check.h"
#include "startup/sfx_globals.h"
#include "tools/common/core_state.h"
#include "tools/common/text_encoding.h"
#include "tools/input/local_header_walk.h"
#include "ui/control_ids.h"
#include "ui/native/native_dialog.h"

namespace {

[[noreturn]] void Fail(const std::string& what) { throw std::runtime_error("self-check of the written file failed: " + what); }

void Expect(bool same, const char* field) {
    if (!same) Fail(std::string("the core reads the settings block's ") + field + " differently from what was written");
}

int32_t ExpectedOverwriteButton(uint8_t flags) {
    switch (flags & kSettingsOverwriteMask) {
        case kSettingsOverwriteAlways: return IDC_OVERWRITE;
        case kSettingsOverwriteSkip: return IDC_SKIP;
        default: return IDC_ASK;
    }
}

// Compares what the core's ReadSettings left in Sfx with the block written.
void CheckSettingsAsRead(const SettingsBlock* settings) {
    SettingsBlock none;
    const SettingsBlock& s = settings ? *settings : none;
    uint8_t flags = settings ? s.flags : kDefaultSettingsFlags;
    bool sizeCheck = settings && !(flags & kSettingsNoSizeCheck);
    Expect(Sfx.ArchiveBase == (settings ? kArchiveBaseWithSettings : kStubImageSize), "presence");
    Expect(Sfx.ShowRunChoice == bool(flags & kSettingsShowRunChoice), "run-choice flag");
    Expect(Sfx.AllowMemberChoice == bool(flags & kSettingsAllowMemberChoice), "member-choice flag");
    Expect(Sfx.HideOverwriteChoice == bool(flags & kSettingsHideOverwriteChoice), "hide-overwrite-choice flag");
    Expect(Sfx.DefaultOverwriteButton == ExpectedOverwriteButton(flags), "default overwrite mode");
    Expect(Sfx.AutoStart == bool(flags & kSettingsAutoStart), "auto-start flag");
    Expect(Sfx.SizeChecked == sizeCheck, "size-check flag");
    // The block's texts are code page 949; the core reads them as UTF-8.
    Expect(Cp949ToUtf8(s.title) == Sfx.TitleText, "title");
    Expect(Cp949ToUtf8(s.runCommand) == Sfx.RunCommand, "run command");
    // "><" is replaced by this machine's temporary directory as it is read.
    if (s.defaultDir != kTemporaryDirectoryMarker)
        Expect(Cp949ToUtf8(s.defaultDir) == Sfx.DefaultDirText, "default directory");
}

}  // namespace

// Lists the members with the stub's own walk (the listing its dialog
// makes) and compares the names with what was written.
static void CheckCoreListing(FileHandle file, const std::vector<ZipWrittenMember>& written) {
    NativeDialog dialog;
    Sfx.ArchiveHandle = file;
    ExtractionPass(&dialog, IDC_MEMBER_LIST, true);
    Sfx.ArchiveHandle = kInvalidFile;
    std::vector<std::string> listed, expected;
    for (const NativeMemberItem& item : dialog.memberList.items) listed.push_back(item.name);
    for (const ZipWrittenMember& member : written) expected.push_back(member.shownName);
    std::sort(listed.begin(), listed.end());
    std::sort(expected.begin(), expected.end());
    if (listed != expected)
        Fail("the stub's own listing finds " + CountOf(listed.size(), "member") + ", not the " +
             std::to_string(expected.size()) + " written, or under other names");
}

// Walks the written file's local headers and compares every header with
// what was written, naming anything the stub could not handle.
static void CheckMemberWalk(const std::string& path, uint32_t archiveBase,
                            const std::vector<ZipWrittenMember>& written) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) Fail("cannot open it again");
    LocalHeaderWalk walk = WalkLocalHeaders(file.get(), archiveBase);
    if (walk.members.size() != written.size())
        Fail("the walk over its local headers finds " + CountOf(walk.members.size(), "member") + ", not " +
             std::to_string(written.size()));
    for (size_t i = 0; i < written.size(); ++i) {
        const WalkedMember& found = walk.members[i];
        const ZipWrittenMember& expected = written[i];
        std::string name = "member \"" + PrintableText(expected.shownName) + "\"";
        if (found.rawName != expected.headerName || found.stubName != expected.shownName)
            Fail(name + " is found under another name");
        if (found.header.method != expected.method || found.header.flags != expected.flags ||
            found.header.crc32 != expected.crc || found.header.compressedSize != expected.compressedSize ||
            found.header.uncompressedSize != expected.size)
            Fail(name + " has another header than was written");
        std::string reason = WhyStubCannotHandle(found);
        if (!reason.empty()) Fail(name + ": " + reason);
    }
    if (walk.end != WalkEnd::CentralDirectory) Fail("the walk does not end at the central directory");
}

void SelfCheckCombinedFile(const std::string& path, const SettingsBlock* settings,
                           const std::vector<ZipWrittenMember>& members) {
    PrepareCoreState();
    FileHandle file = OpenWithCore(path);
    if (file == kInvalidFile) Fail("the core cannot open it");
    std::unique_ptr<void, bool (*)(FileHandle)> closer(file, CloseFile);

    uint32_t base = settings ? kArchiveBaseWithSettings : kStubImageSize;
    // Tested before ReadSettings, whose own check ends the process on failure.
    if (settings && !(settings->flags & kSettingsNoSizeCheck) && !ArchiveSizeMatches(file, base))
        Fail("the stub's size check would refuse it: the archive does not end with its end-of-central-directory "
             "record and comment (use --no-size-check to turn the check off)");
    Sfx.ArchiveHandle = file;
    ReadSettings();
    Sfx.ArchiveHandle = kInvalidFile;
    CheckSettingsAsRead(settings);
    CheckCoreListing(file, members);
    CheckMemberWalk(path, base, members);
}
