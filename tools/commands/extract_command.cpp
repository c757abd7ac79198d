// doromi extract: runs the stub's own extraction pass natively, with the
// questions of its dialogs asked on the terminal or answered by options.
#include <errno.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "archive/extraction_pass.h"
#include "archive/overwrite_policy.h"
#include "archive/passwords.h"
#include "archive/settings.h"
#include "archive/size_check.h"
#include "help_texts.h"
#include "platform/posix/write_failures.h"
#include "startup/sfx_globals.h"
#include "tools/commands/arguments.h"
#include "tools/commands/commands.h"
#include "tools/common/core_state.h"
#include "tools/common/file_access.h"
#include "tools/common/text_encoding.h"
#include "tools/input/local_header_walk.h"
#include "tools/output/console_frontend.h"
#include "tools/output/progress.h"
#include "tools/zip_writer/settings_block.h"
#include "ui/control_ids.h"
#include "ui/native/native_dialog.h"
#include "ui/texts.h"
#include "util/utf8.h"

namespace {

struct ExtractOptions {
    std::string file;
    std::string directory = ".";
    std::string overwrite;
    std::vector<std::string> only;
};

void TakeFile(ExtractOptions& options, const std::string& file) {
    if (!options.file.empty()) throw UsageError("one file at a time, not also " + PrintableText(file));
    options.file = file;
}

using Value = const std::string&;

// One option a row, as the build test option_tables reads the table.
// clang-format off
const CommandOption<ExtractOptions> kExtractOptions[] = {
    {"--dir", "-d", true, [](ExtractOptions& o, Value, Value v) { o.directory = v; }},
    {"--overwrite", nullptr, true,
     [](ExtractOptions& o, Value, Value v) {
         o.overwrite = v;
         if (v != "ask" && v != "overwrite" && v != "skip")
             throw UsageError("--overwrite takes ask, overwrite or skip, not " + PrintableText(v));
     }},
    {"--password", nullptr, true,
     [](ExtractOptions&, Value, Value v) {
         Answers().password = v;
         CheckPasswordArgument(*Answers().password);
     }},
    {"--password-file", nullptr, true,
     [](ExtractOptions&, Value, Value v) {
         Answers().password = ReadFirstLine(v, kLongestPasswordLine, "the password file");
         CheckPasswordArgument(*Answers().password);
     }},
    {"--only", nullptr, true, [](ExtractOptions& o, Value, Value v) { o.only.push_back(v); }},
    {"--quiet", "-q", false, [](ExtractOptions&, Value, Value) { Answers().quiet = true; }},
};
// clang-format on

// The target directory, made with its parents when missing.
void MakeTargetDirectory(const std::string& directory) {
    std::error_code error;
    std::filesystem::file_status status = std::filesystem::status(directory, error);
    if (std::filesystem::is_directory(status)) return;
    if (std::filesystem::exists(status))
        throw std::runtime_error("the target " + PrintableText(directory) + " exists and is not a directory");
    std::filesystem::create_directories(directory, error);
    if (error)
        throw std::runtime_error("cannot make the target directory " + PrintableText(directory) + ": " +
                                 error.message());
}

// The target as the core takes it: absolute, UTF-8, no longer than the
// path the system takes.
void SetTargetDirectory(const std::string& directory) {
    MakeTargetDirectory(directory);
    char resolved[PATH_MAX];
    if (!realpath(directory.c_str(), resolved))
        throw std::runtime_error("the target directory " + PrintableText(directory) + " cannot be reached");
    std::string target = resolved;
    if (!IsValidUtf8(target)) throw std::runtime_error("the target directory's path is not valid UTF-8");
    uint32_t units = Utf16Units(target.data(), (uint32_t)target.size());
    if (units > kLongestPath)
        throw std::runtime_error("the target directory's path is " + std::to_string(units) +
                                 " characters (UTF-16 units) long; the stub takes at most " +
                                 std::to_string(kLongestPath));
    std::memcpy(Sfx.ExtractDir, target.c_str(), target.size() + 1);
}

// The size check is made here, before the core's settings reader, which
// would end the process on a failure as the stub does.
void OpenArchive(const std::string& file) {
    RequireRegularFile(file, "the file");
    Sfx.ArchiveHandle = OpenWithCore(file);
    if (Sfx.ArchiveHandle == kInvalidFile) throw std::runtime_error("cannot open " + PrintableText(file));
    std::ifstream in(file, std::ios::binary);
    std::string block(kSettingsBlockSize, '\0');
    in.seekg(kStubImageSize);
    in.read(&block[0], (std::streamsize)block.size());
    block.resize((size_t)in.gcount());
    SettingsBlock settings;
    if (DecodeSettingsBlock(block, settings) && !(settings.flags & kSettingsNoSizeCheck) &&
        !ArchiveSizeMatches(Sfx.ArchiveHandle, kArchiveBaseWithSettings))
        throw std::runtime_error(PrintableText(file) + ": " TEXT_SIZE_MISMATCH " (the file was cut short or extended)");
    ReadSettings();
}

void ApplyOverwriteMode(const std::string& mode) {
    if (mode.empty()) Sfx.OverwriteMode = OverwriteModeOfButton(Sfx.DefaultOverwriteButton);
    else Sfx.OverwriteMode = mode == "overwrite" ? kOverwrite : mode == "skip" ? kSkip : kAsk;
}

// Selects every member, or only the ones named, which must all exist.
void ChooseMembers(NativeMemberList& list, const std::vector<std::string>& only) {
    for (NativeMemberItem& item : list.items) item.selected = only.empty();
    for (const std::string& name : only) {
        auto item = std::find_if(list.items.begin(), list.items.end(),
                                 [&](const NativeMemberItem& i) { return i.name == name; });
        if (item == list.items.end()) throw UsageError("no member named " + PrintableText(name));
        item->selected = true;
    }
}

int ReportOutcome(const NativeMemberList& list) {
    if (Sfx.AllExtracted) return 0;
    if (int error = LastWriteFailure()) {
        std::string cause = error == ENOSPC ? "the disk is full" : std::strerror(error);
        std::fprintf(stderr, "doromi extract: writing failed: %s\n", cause.c_str());
    }
    std::string left;
    size_t count = 0;
    for (const NativeMemberItem& item : list.items)
        if (item.selected) {
            left += "\n  " + PrintableText(item.name);
            ++count;
        }
    // Refused passwords for one member end the pass without a word; the
    // count starts again with every member written.
    std::string reason = Answers().passwordsAsked >= (int)kPasswordAttempts ? "the password was not accepted; " : "";
    if (left.empty()) throw std::runtime_error(reason + "nothing was extracted");
    throw std::runtime_error(reason + CountOf(count, "member") + (count == 1 ? " was" : " were") +
                             " not extracted:" + left);
}

// A member cut short by an interruption is removed, so that no truncated
// file looks like an extracted one: the file the core is writing, which for
// a member that replaces a file is the temporary file beside it (the old
// file stays as it was).
void RemoveMemberInProgress(int signal) {
    if (Sfx.OutputHandle != kInvalidFile && LastCreatedFile()[0]) unlink(LastCreatedFile());
    ::signal(signal, SIG_DFL);
    raise(signal);
}

// The uncompressed bytes of the selected members, from the walk that
// `doromi info` makes (ordinals count its members in the same order).
uint64_t SelectedBytes(const std::string& file, const NativeMemberList& list) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(file.c_str(), "rb"), std::fclose);
    if (!in) return 0;
    LocalHeaderWalk walk = WalkLocalHeaders(in.get(), Sfx.ArchiveBase);
    uint64_t total = 0;
    for (const NativeMemberItem& item : list.items)
        if (item.selected && item.ordinal < walk.members.size())
            total += walk.members[item.ordinal].header.uncompressedSize;
    return total;
}

uint64_t bytesWritten;

void CountWrite(uint32_t bytes) {
    bytesWritten += bytes;
    if (Watch().progress) Watch().progress->Update(Watch().membersStarted, bytesWritten);
}

}  // namespace

int ExtractCommand(const std::vector<std::string>& arguments) {
    ExtractOptions options;
    if (!ParseOptions(arguments, kExtractOptions, options, TakeFile, kExtractHelp)) return 0;
    if (options.file.empty()) throw UsageError("which file? (see --help)");
    PrepareCoreState();
    SetTargetDirectory(options.directory);
    OpenArchive(options.file);
    ApplyOverwriteMode(options.overwrite);

    NativeDialog dialog;
    ExtractionPass(&dialog, IDC_MEMBER_LIST, true);
    if (dialog.memberList.items.empty()) throw std::runtime_error(PrintableText(options.file) + " holds no member");
    ChooseMembers(dialog.memberList, options.only);
    size_t selected = (size_t)std::count_if(dialog.memberList.items.begin(), dialog.memberList.items.end(),
                                            [](const NativeMemberItem& item) { return item.selected; });
    ProgressLine progress("extracting", selected, SelectedBytes(options.file, dialog.memberList), Answers().quiet);
    Watch().progress = &progress;
    ObserveWrites(CountWrite);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, RemoveMemberInProgress);
    ExtractionPass(&dialog, IDC_MEMBER_LIST, false);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) signal(s, SIG_DFL);
    ObserveWrites(nullptr);
    progress.Finish();
    Watch().progress = nullptr;
    CloseFile(Sfx.ArchiveHandle);
    Sfx.ArchiveHandle = kInvalidFile;
    return ReportOutcome(dialog.memberList);
}
