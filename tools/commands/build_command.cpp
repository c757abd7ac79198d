// `doromi build`: stub image + settings block + ZIP archive in one file.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "archive/zip_format.h"
#include "help_texts.h"
#include "startup/sfx_globals.h"
#include "tools/commands/arguments.h"
#include "tools/commands/commands.h"
#include "tools/commands/self_check.h"
#include "tools/common/file_access.h"
#include "tools/common/text_encoding.h"
#include "tools/input/archive_input.h"
#include "tools/input/case_twins.h"
#include "tools/input/input_files.h"
#include "tools/input/zip_input.h"
#include "tools/output/console_frontend.h"
#include "tools/output/output_file.h"
#include "tools/output/progress.h"
#include "tools/output/signing.h"
#include "tools/zip_writer/byte_order.h"
#include "tools/zip_writer/settings_block.h"
#include "tools/zip_writer/zip_writer.h"

namespace {

struct BuildRequest {
    std::string output;
    std::vector<std::string> paths;
    std::string zipPath;
    std::string fromPath;
    std::string stubPath;
    bool store = false;
    std::optional<int> level;
    std::optional<std::string> password;
    std::optional<std::string> passwordFile;
    bool randomHeaders = false;
    std::optional<Encryption> encryption;
    bool noSettings = false;
    std::vector<std::string> settingsOptions;  // which were given, to refuse them with --no-settings
    std::optional<std::string> title, defaultDir, runCommand;
    uint8_t flags = kDefaultSettingsFlags;
    SigningRequest signing;
    bool allowRefusedNames = false;
    bool noRewrite = false;
    std::optional<std::string> nameEncoding;
    bool quiet = false;
};

int ParseLevel(const std::string& text) {
    for (int level = 1; level <= kHighestLevel; ++level)
        if (text == std::to_string(level)) return level;
    throw UsageError("--level takes a number from 1 to " + std::to_string(kHighestLevel) + ", not \"" +
                     PrintableText(text) + "\"");
}

uint8_t OverwriteBits(const std::string& mode) {
    if (mode == "ask") return 0;
    if (mode == "overwrite") return kSettingsOverwriteAlways;
    if (mode == "skip") return kSettingsOverwriteSkip;
    throw UsageError("--overwrite takes ask, overwrite or skip, not \"" + PrintableText(mode) + "\"");
}

// A settings option without a value: sets or clears `bits` of the flags.
template <uint8_t bits, bool set>
void SetFlag(BuildRequest& request, const std::string& name, const std::string&) {
    request.settingsOptions.push_back(name);
    request.flags = set ? request.flags | bits : request.flags & ~bits;
}

// A settings option that stores a text in `field`.
template <std::optional<std::string> BuildRequest::*field>
void SetText(BuildRequest& request, const std::string& name, const std::string& value) {
    request.settingsOptions.push_back(name);
    request.*field = value;
}

void RefuseSecondDirectory(const BuildRequest& request) {
    if (request.defaultDir) throw UsageError("--default-dir and --temp-dir give the directory twice");
}

Encryption ParseEncryption(const std::string& kind) {
    if (kind == "aes256") return Encryption::Aes256;
    if (kind == "aes128") return Encryption::Aes128;
    if (kind == "zipcrypto") return Encryption::Traditional;
    throw UsageError("--encryption takes aes256, aes128 or zipcrypto, not \"" + PrintableText(kind) + "\"");
}

using BuildOption = CommandOption<BuildRequest>;
using Value = const std::string&;

// One option a row, as the build test option_tables reads the table.
// clang-format off
const BuildOption kBuildOptions[] = {
    {"--output", "-o", true, [](BuildRequest& r, Value, Value v) { r.output = v; }},
    {"--zip", nullptr, true, [](BuildRequest& r, Value, Value v) { r.zipPath = v; }},
    {"--no-rewrite", nullptr, false, [](BuildRequest& r, Value, Value) { r.noRewrite = true; }},
    {"--name-encoding", nullptr, true,
     [](BuildRequest& r, Value, Value v) {
         r.nameEncoding = v;
         CheckCodePageName(v);
     }},
    {"--from", nullptr, true, [](BuildRequest& r, Value, Value v) { r.fromPath = v; }},
    {"--stub", nullptr, true, [](BuildRequest& r, Value, Value v) { r.stubPath = v; }},
    {"--level", nullptr, true, [](BuildRequest& r, Value, Value v) { r.level = ParseLevel(v); }},
    {"--store", nullptr, false, [](BuildRequest& r, Value, Value) { r.store = true; }},
    {"--password", nullptr, true, [](BuildRequest& r, Value, Value v) { r.password = v; }},
    {"--password-file", nullptr, true, [](BuildRequest& r, Value, Value v) { r.passwordFile = v; }},
    {"--encryption", nullptr, true, [](BuildRequest& r, Value, Value v) { r.encryption = ParseEncryption(v); }},
    {"--random-headers", nullptr, false, [](BuildRequest& r, Value, Value) { r.randomHeaders = true; }},
    {"--title", nullptr, true, SetText<&BuildRequest::title>},
    {"--default-dir", nullptr, true, SetText<&BuildRequest::defaultDir>, RefuseSecondDirectory},
    {"--temp-dir", nullptr, false,
     [](BuildRequest& r, Value name, Value) {
         RefuseSecondDirectory(r);
         r.settingsOptions.push_back(name);
         r.defaultDir = kTemporaryDirectoryMarker;
     }},
    {"--run", nullptr, true, SetText<&BuildRequest::runCommand>},
    {"--hide-run-choice", nullptr, false, SetFlag<kSettingsShowRunChoice, false>},
    {"--no-member-choice", nullptr, false, SetFlag<kSettingsAllowMemberChoice, false>},
    {"--hide-overwrite-choice", nullptr, false, SetFlag<kSettingsHideOverwriteChoice, true>},
    {"--overwrite", nullptr, true,
     [](BuildRequest& r, Value name, Value v) {
         r.settingsOptions.push_back(name);
         r.flags = (r.flags & ~kSettingsOverwriteMask) | OverwriteBits(v);
     }},
    {"--no-size-check", nullptr, false, SetFlag<kSettingsNoSizeCheck, true>},
    {"--auto-start", nullptr, false, SetFlag<kSettingsAutoStart, true>},
    {"--quiet", "-q", false, [](BuildRequest& r, Value, Value) { r.quiet = true; }},
    {"--allow-refused-names", nullptr, false, [](BuildRequest& r, Value, Value) { r.allowRefusedNames = true; }},
    {"--sign-cert", nullptr, true, [](BuildRequest& r, Value, Value v) { r.signing.certificate = v; }},
    {"--sign-key", nullptr, true, [](BuildRequest& r, Value, Value v) { r.signing.key = v; }},
    {"--sign-pkcs12", nullptr, true, [](BuildRequest& r, Value, Value v) { r.signing.pkcs12 = v; }},
    {"--sign-password-file", nullptr, true, [](BuildRequest& r, Value, Value v) { r.signing.passwordFile = v; }},
    {"--timestamp", nullptr, true, [](BuildRequest& r, Value, Value v) { r.signing.timestampUrl = v; }},
    {"--no-settings", nullptr, false, [](BuildRequest& r, Value, Value) { r.noSettings = true; }},
};
// clang-format on

void CheckCombinations(const BuildRequest& request) {
    if (request.output.empty()) throw UsageError("-o OUT.exe is missing");
    if (request.zipPath.empty() && request.fromPath.empty() && request.paths.empty())
        throw UsageError("give the files and folders to pack, --zip or --from");
    if (!request.fromPath.empty() && (!request.zipPath.empty() || !request.paths.empty()))
        throw UsageError(std::string("--from packs the archive's entries; give no ") +
                         (request.zipPath.empty() ? "other paths" : "--zip"));
    if (!request.zipPath.empty()) {
        if (!request.paths.empty()) throw UsageError("--zip takes the archive as it is; give no other paths");
        if (request.store || request.level || request.randomHeaders || request.encryption)
            throw UsageError("--zip keeps the archive's members as they are; compression and encryption options do "
                             "not apply (a password is checked against its encrypted members)");
    } else if (request.noRewrite || request.nameEncoding) {
        throw UsageError(std::string(request.noRewrite ? "--no-rewrite" : "--name-encoding") + " applies only with --zip");
    }
    if (request.store && request.level) throw UsageError("--store and --level exclude each other");
    if (request.password && request.passwordFile) throw UsageError("--password and --password-file exclude each other");
    if ((request.randomHeaders || request.encryption) && !request.password && !request.passwordFile)
        throw UsageError(std::string(request.randomHeaders ? "--random-headers" : "--encryption") +
                         " only applies with a password");
    CheckSigningRequest(request.signing);
    if (request.noSettings && !request.settingsOptions.empty())
        throw UsageError("--no-settings leaves out the settings block, so " + request.settingsOptions.front() +
                         " cannot be stored");
}

SettingsBlock SettingsFromRequest(const BuildRequest& request) {
    SettingsBlock settings;
    settings.flags = request.flags;
    if (request.title) settings.title = Cp949Argument(*request.title, "the title");
    if (request.defaultDir) settings.defaultDir = Cp949Argument(*request.defaultDir, "the default directory");
    if (request.runCommand) settings.runCommand = Cp949Argument(*request.runCommand, "the run command");
    if (size_t over = SettingsTextsOverflow(settings)) {
        std::ostringstream message;
        message << "the settings texts are " << over << (over == 1 ? " byte" : " bytes") << " too long: title " << settings.title.size()
                << " + default directory " << settings.defaultDir.size() << " + run command "
                << settings.runCommand.size() << " = " << kSettingsTextRoom + over
                << " bytes in code page 949, and the settings block holds " << kSettingsTextRoom;
        throw UsageError(message.str());
    }
    return settings;
}

// The bytes each cipher takes of the password. The stub tries the code
// page 949 bytes that a Korean Windows' box gives, and UTF-8.
struct Password {
    std::string traditional, aes;
};

Password PasswordFromRequest(const BuildRequest& request) {
    if (!request.password && !request.passwordFile) return {};
    std::string utf8 = request.password ? *request.password
                                        : ReadFirstLine(*request.passwordFile, kLongestPasswordLine, "the password file");
    CheckPasswordArgument(utf8);
    // The traditional cipher takes what a Korean Windows' box gives when
    // the password has such a form; AES keys come from UTF-8, as other
    // archivers make them.
    Cp949Result cp949 = Utf8ToCp949(utf8);
    return {cp949.failure ? utf8 : cp949.bytes, utf8};
}

// The stub beside the tool (the build tree keeps them together), else
// where an installation puts it, ../share/doromi/ from the tool's folder.
// Both are taken from the tool's real path, so any prefix works and a
// symbolic link to the tool leads to its own stub.
std::string DefaultStubPath() {
    std::error_code error;
    std::filesystem::path folder = std::filesystem::read_symlink("/proc/self/exe", error).parent_path();
    if (error) throw std::runtime_error("cannot tell where doromi is, to find the stub; give --stub");
    std::filesystem::path beside = folder / "doromi-sfx.exe";
    std::filesystem::path installed = (folder / "../share/doromi/doromi-sfx.exe").lexically_normal();
    for (const std::filesystem::path& candidate : {beside, installed})
        if (std::filesystem::exists(candidate, error)) return candidate;
    throw std::runtime_error("cannot find the stub: neither " + PrintableText(beside.string()) + " nor " +
                             PrintableText(installed.string()) + " exists; give --stub");
}

// The stub image, which must be exactly the size the stub expects its
// settings block to follow and hold no ZIP signature for the size check
// and the archive tools to trip over.
std::string ReadStub(const std::string& path) {
    std::string stub = ReadExactly(path, kStubImageSize, "the stub");
    for (uint32_t signature : {kLocalHeaderSignature, kCentralHeaderSignature, kEndRecordSignature}) {
        std::string bytes;
        PutLe32(bytes, signature);
        if (stub.find(bytes) != std::string::npos)
            throw std::runtime_error("the stub " + PrintableText(path) +
                                     " holds a ZIP signature and would confuse the archive's readers");
    }
    return stub;
}

bool SameFile(const struct stat& a, const std::string& path) {
    struct stat b;
    return stat(path.c_str(), &b) == 0 && a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// What the output may replace: nothing, or a regular file that is neither
// the stub nor this tool. A symbolic link is refused rather than followed
// or replaced: either would surprise someone. The output, when it already
// exists, must not pack itself either.
std::vector<FileIdentity> ExistingOutput(const std::string& output, const std::string& stubPath) {
    struct stat status;
    if (lstat(output.c_str(), &status) != 0) return {};
    if (S_ISLNK(status.st_mode))
        throw std::runtime_error(PrintableText(output) +
                                 " is a symbolic link; give the file it points to, or remove the link");
    if (!S_ISREG(status.st_mode))
        throw std::runtime_error(PrintableText(output) + " exists and is not a regular file" +
                                 (S_ISDIR(status.st_mode) ? " but a folder" : "") + "; it is left alone");
    if (SameFile(status, stubPath) || SameFile(status, "/proc/self/exe"))
        throw std::runtime_error(PrintableText(output) + " is the stub or the doromi tool itself");
    return {{status.st_dev, status.st_ino}};
}

void Write(std::FILE* out, const std::string& bytes) {
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size())
        throw std::runtime_error("cannot write the output file");
}

// What is packed: a --zip archive's plan, or the members collected from
// files and folders or from another archive.
struct PackedInput {
    std::optional<ZipInputPlan> zipInput;
    std::vector<ZipMemberSource> sources;
    ArchiveMembers fromArchive;  // its data source outlives the writing
};

void Warn(const std::string& warning, bool keepNewlines = false) {
    std::fprintf(stderr, "doromi build: warning: %s\n", PrintableText(warning, keepNewlines).c_str());
}

// Reads what is to be packed, refusing what cannot be, with warnings for
// entries left out and names that collide on Windows.
PackedInput CollectInput(const BuildRequest& request, const Password& password,
                         const std::vector<FileIdentity>& existing) {
    PackedInput input;
    if (!request.zipPath.empty()) {
        ZipInputOptions options;
        options.allowRefusedNames = request.allowRefusedNames;
        options.noRewrite = request.noRewrite;
        options.trailerAllowed = request.noSettings || (request.flags & kSettingsNoSizeCheck);
        options.nameEncoding = request.nameEncoding;
        if (request.password || request.passwordFile) options.password = {password.traditional, password.aes};
        input.zipInput = PlanZipInput(request.zipPath, options);
        for (const std::string& warning : input.zipInput->warnings) Warn(warning, true);
        return input;
    }
    if (request.fromPath.empty()) {
        input.sources = CollectMembers(request.paths, existing);
    } else {
        input.fromArchive = CollectArchiveMembers(request.fromPath);
        input.sources = input.fromArchive.members;
        for (const std::string& warning : input.fromArchive.warnings) Warn(warning);
    }
    std::vector<std::string> names;
    for (const ZipMemberSource& source : input.sources) names.push_back(source.utf8Name);
    std::string twins = CaseTwinWarning(names);
    if (!twins.empty()) Warn(twins);
    return input;
}

// Writes the archive to `out`, which stands at `archiveBase` of the file.
std::vector<ZipWrittenMember> WriteMembers(const BuildRequest& request, PackedInput& input, std::FILE* out,
                                           uint32_t archiveBase, const Password& password) {
    if (input.zipInput) return WriteZipInput(*input.zipInput, out, archiveBase);
    ZipWriteOptions options;
    options.store = request.store;
    options.level = request.level.value_or(kDefaultLevel);
    options.encryption = request.encryption.value_or(Encryption::Aes256);
    options.password = options.encryption == Encryption::Traditional ? password.traditional : password.aes;
    options.randomHeaders = request.randomHeaders;
    options.offsetBase = archiveBase;
    uint64_t bytes = 0;
    for (const ZipMemberSource& source : input.sources) bytes += source.size;
    ProgressLine progress("packing", input.sources.size(), bytes, request.quiet);
    options.progress = &progress;
    return WriteZipArchive(out, input.sources, options);
}

}  // namespace

int BuildCommand(const std::vector<std::string>& arguments) {
    BuildRequest request;
    auto operand = [](BuildRequest& r, const std::string& path) { r.paths.push_back(path); };
    if (!ParseOptions(arguments, kBuildOptions, request, +operand, kBuildHelp)) return 0;
    CheckCombinations(request);
    std::optional<SettingsBlock> settings;
    if (!request.noSettings) settings = SettingsFromRequest(request);
    Password password = PasswordFromRequest(request);
    std::string stubPath = request.stubPath.empty() ? DefaultStubPath() : request.stubPath;
    std::string stub = ReadStub(stubPath);
    std::vector<FileIdentity> existing = ExistingOutput(request.output, stubPath);

    // Everything that can be refused is refused before the output exists.
    PackedInput input = CollectInput(request, password, existing);

    TemporaryOutput output(request.output);
    Write(output.Stream(), stub);
    if (settings) Write(output.Stream(), EncodeSettingsBlock(*settings));
    uint32_t archiveBase = settings ? kArchiveBaseWithSettings : kStubImageSize;
    std::vector<ZipWrittenMember> members = WriteMembers(request, input, output.Stream(), archiveBase, password);
    output.Finish();
    SelfCheckCombinedFile(output.Path(), settings ? &*settings : nullptr, members);
    if (request.signing.Wanted()) SignCombinedFile(output.Path(), request.signing, archiveBase);
    output.Commit();

    if (input.zipInput) std::printf("%s\n", ZipInputSummary(*input.zipInput).c_str());
    struct stat status;
    long long size = stat(request.output.c_str(), &status) == 0 ? (long long)status.st_size : -1;
    std::printf("%s: %s, %lld bytes\n", PrintableText(request.output).c_str(),
                CountOf(members.size(), "member").c_str(), size);
    return 0;
}
