// `doromi info`: a combined file's settings, size-check verdict and members.
#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>

#include "archive/size_check.h"
#include "archive/zip_format.h"
#include "help_texts.h"
#include "tools/commands/arguments.h"
#include "tools/commands/commands.h"
#include "tools/common/core_state.h"
#include "tools/common/file_access.h"
#include "tools/common/text_encoding.h"
#include "tools/input/case_twins.h"
#include "tools/input/local_header_walk.h"
#include "tools/input/member_decompression.h"
#include "tools/input/zip_input.h"
#include "tools/output/signing.h"
#include "tools/zip_writer/settings_block.h"

namespace {

// What the stub reads of a settings block: the block and, when its lengths
// say so, texts running on past it, each text as long as its length byte
// can say.
const size_t kSettingsTextCount = kSettingsTextsOffset - kSettingsLengthsOffset;
const size_t kLongestSettingsRead = kSettingsTextsOffset + kSettingsTextCount * UINT8_MAX;

// What the file's certificate table holds, as far as the tool can tell.
enum class Signature {
    kNone,           // no certificate table
    kOutsideFile,    // the PE header names a table beyond the file's end
    kNoCertificate,  // the table holds no WIN_CERTIFICATE entry: the header names other bytes
    kUnreadable,     // osslsigncode finds no signature it can read in the entry
    kNoReader,       // an entry, but osslsigncode cannot be started to read it
    kSigned,         // signed by `signer`
};

struct FileReport {
    std::string path;
    uint64_t size = 0;
    bool hasSettings = false;
    SettingsBlock settings;
    size_t settingsOverflow = 0;  // bytes the texts run past the block
    bool sizeMatches = false;
    uint32_t archiveBase = kStubImageSize;
    Signature signature = Signature::kNone;
    uint32_t tableStart = 0, tableSize = 0;  // the certificate table the PE header names
    std::optional<std::string> signer;
    std::string signatureComplaint;  // what osslsigncode said of a table it could not read
    LocalHeaderWalk walk;
    std::vector<std::string> refusals;  // per member: why the stub refuses its name, or empty
    std::vector<std::optional<CaseTwin>> caseTwins;  // per member: the first case twin it brings
};

using File = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

std::string ReadSettingsArea(std::FILE* file) {
    std::string bytes(kLongestSettingsRead, '\0');
    if (fseeko(file, kStubImageSize, SEEK_SET) != 0) return "";
    bytes.resize(std::fread(&bytes[0], 1, bytes.size(), file));
    return bytes;
}

// The size check exactly as the stub makes it, through the core, and the
// certificate table it takes into account.
void CoreSizeCheck(const std::string& path, FileReport& report) {
    PrepareCoreState();
    FileHandle handle = OpenWithCore(path);
    if (handle == kInvalidFile) throw std::runtime_error("cannot open " + PrintableText(path));
    report.sizeMatches = ArchiveSizeMatches(handle, report.archiveBase);
    SignatureLayout layout = FindCertificateTable(handle, FileSize(handle), &report.tableStart, &report.tableSize);
    CloseFile(handle);
    report.signature = layout == kNotSigned ? Signature::kNone
                       : layout == kSigned  ? Signature::kNoCertificate  // until its entry is read
                                            : Signature::kOutsideFile;
}

// Reads the certificate table that lies within the file: its entry's
// header here, the signer through osslsigncode.
void ReadSignature(std::FILE* file, FileReport& report) {
    if (report.signature != Signature::kNoCertificate) return;
    std::string header(8, '\0');
    bool read = fseeko(file, report.tableStart, SEEK_SET) == 0 &&
                std::fread(&header[0], 1, header.size(), file) == header.size();
    if (!read || !StartsCertificateEntry(header, report.tableSize)) return;
    SignerReading reading = ReadSigner(report.path);
    report.signature = reading.outcome == SignerReading::kRead       ? Signature::kSigned
                       : reading.outcome == SignerReading::kNoReader ? Signature::kNoReader
                                                                     : Signature::kUnreadable;
    if (reading.outcome == SignerReading::kRead) report.signer = reading.subject;
    report.signatureComplaint = reading.reason;
}

std::string SignatureText(const FileReport& report) {
    std::string table = std::to_string(report.tableSize) + " bytes at offset " + std::to_string(report.tableStart);
    switch (report.signature) {
        case Signature::kNone:
            return "not signed";
        case Signature::kOutsideFile:
            return "damaged (the certificate table lies outside the file)";
        case Signature::kNoCertificate:
            return "not signed: the certificate table is damaged (the PE header names " + table +
                   ", which hold no certificate)";
        case Signature::kUnreadable:
            return "damaged (the certificate table, " + table + ", cannot be read: " + report.signatureComplaint + ")";
        case Signature::kNoReader:
            return "signed; the signer cannot be read: is osslsigncode installed?";
        default:
            return "signed by " + report.signer.value_or("");
    }
}

bool SizeCheckEnabled(const FileReport& report) {
    return report.hasSettings && !(report.settings.flags & kSettingsNoSizeCheck);
}

FileReport Inspect(const std::string& path) {
    RequireRegularFile(path, "the file");
    File file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) throw ReadFailure("cannot open " + PrintableText(path));
    FileReport report;
    report.path = path;
    fseeko(file.get(), 0, SEEK_END);
    report.size = (uint64_t)ftello(file.get());
    if (report.size < kStubImageSize)
        throw std::runtime_error(PrintableText(path) + " is not a self-extracting file: it is " +
                                 std::to_string(report.size) + " bytes, shorter than the " +
                                 std::to_string(kStubImageSize) + "-byte stub");
    std::string area = ReadSettingsArea(file.get());
    report.hasSettings = DecodeSettingsBlock(area, report.settings);
    if (report.hasSettings) {
        report.archiveBase = kArchiveBaseWithSettings;
        auto length = [&](size_t i) { return i < area.size() ? (uint8_t)area[i] : 0; };
        size_t end = kSettingsTextsOffset + length(kSettingsLengthsOffset) + length(kSettingsLengthsOffset + 1) +
                     length(kSettingsLengthsOffset + 2);
        report.settingsOverflow = end > kSettingsBlockSize ? end - kSettingsBlockSize : 0;
    }
    CoreSizeCheck(path, report);
    ReadSignature(file.get(), report);
    report.walk = WalkLocalHeaders(file.get(), report.archiveBase);
    std::vector<std::string> names;
    for (const WalkedMember& member : report.walk.members) {
        report.refusals.push_back(WhyStubRefusesName(member, report.walk.unmarkedNamesUtf8));
        names.push_back(member.stubName);
    }
    report.caseTwins.resize(names.size());
    for (const CaseTwin& twin : FindCaseTwins(names))
        if (!report.caseTwins[twin.member]) report.caseTwins[twin.member] = twin;
    return report;
}

// What `doromi info` answers with its exit status: a combined file whose
// every member the stub reaches and takes, and whose size check passes
// when it is made.
bool IsValidCombinedFile(const FileReport& report) {
    if (report.walk.members.empty() || report.walk.end != WalkEnd::CentralDirectory) return false;
    if (SizeCheckEnabled(report) && !report.sizeMatches) return false;
    for (size_t i = 0; i < report.walk.members.size(); ++i)
        if (!report.refusals[i].empty() || !WhyStubCannotHandle(report.walk.members[i]).empty()) return false;
    return true;
}

const char* MethodName(const WalkedMember& member) {
    uint16_t method = RealMethod(member);
    return method == kMethodStored ? "stored" : method == kMethodDeflated ? "deflated" : "unsupported";
}

std::string DosTimeText(uint16_t date, uint16_t time) {
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", 1980 + (date >> 9), (date >> 5) & 15, date & 31,
                  time >> 11, (time >> 5) & 63, (time & 31) * 2);
    return text;
}

std::string CrcText(uint32_t crc) {
    char text[9];
    std::snprintf(text, sizeof text, "%08x", crc);
    return text;
}

const char* WalkEndName(WalkEnd end) {
    switch (end) {
        case WalkEnd::CentralDirectory: return "central directory";
        case WalkEnd::EndOfFile: return "end of file";
        default: return "unrecognised bytes";
    }
}

// A settings text (code page 949 in the file), as it may reach a terminal.
std::string Shown(const std::string& cp949) { return PrintableText(Cp949ToUtf8(cp949)); }

std::string SizeCheckVerdict(const FileReport& report) {
    std::string would = report.sizeMatches ? "the file would pass" : "the file would fail";
    if (!report.hasSettings) return "not made (no settings block); " + would;
    if (!SizeCheckEnabled(report)) return "off; " + would;
    return report.sizeMatches ? "passes" : "fails: the stub will refuse to start (the file was cut short or extended)";
}

void PrintText(const FileReport& report) {
    std::printf("File:            %s (%llu bytes)\n", PrintableText(report.path).c_str(),
                (unsigned long long)report.size);
    if (!report.hasSettings) {
        std::printf("Settings block:  none (the stub's defaults)\n");
    } else {
        const SettingsBlock& s = report.settings;
        auto yesNo = [&](uint8_t bit) { return (s.flags & bit) ? "yes" : "no"; };
        std::string dir = s.defaultDir == kTemporaryDirectoryMarker ? "the temporary directory (\"><\")"
                          : s.defaultDir.empty()                    ? "(none: the current directory)"
                                                                    : Shown(s.defaultDir);
        std::printf("Settings block:  present\n");
        std::printf("  Title:                  %s\n", s.title.empty() ? "(none)" : Shown(s.title).c_str());
        std::printf("  Default directory:      %s\n", dir.c_str());
        std::printf("  Run command:            %s\n", s.runCommand.empty() ? "(none)" : Shown(s.runCommand).c_str());
        if (report.settingsOverflow)
            std::printf("  Warning: the texts run %zu bytes past the block into the archive\n", report.settingsOverflow);
        std::printf("  Flags:                  0x%02x\n", s.flags);
        std::printf("    show run choice:        %s\n", yesNo(kSettingsShowRunChoice));
        std::printf("    allow member choice:    %s\n", yesNo(kSettingsAllowMemberChoice));
        std::printf("    hide overwrite choice:  %s\n", yesNo(kSettingsHideOverwriteChoice));
        std::printf("    default overwrite:      %s\n", OverwriteModeName(s.flags));
        std::printf("    size check:             %s\n", (s.flags & kSettingsNoSizeCheck) ? "off" : "on");
        std::printf("    auto start:             %s\n", yesNo(kSettingsAutoStart));
    }
    std::printf("Size check:      %s\n", SizeCheckVerdict(report).c_str());
    std::printf("Signature:       %s\n", PrintableText(SignatureText(report)).c_str());
    std::printf("Archive:         at offset %u\n", report.archiveBase);
    std::printf("Members:         %zu (the walk ends at the %s, offset %llu)\n", report.walk.members.size(),
                WalkEndName(report.walk.end), (unsigned long long)report.walk.endOffset);
    if (report.walk.members.empty()) return;
    std::printf("  %-9s %10s %10s  %-8s  %-19s  %-14s  %s\n", "Method", "Size", "Packed", "CRC-32", "Modified",
                "Encryption", "Name");
    for (size_t i = 0; i < report.walk.members.size(); ++i) {
        const WalkedMember& m = report.walk.members[i];
        std::printf("  %-9s %10u %10u  %s  %s  %-14s  %s\n", MethodName(m), m.header.uncompressedSize,
                    m.header.compressedSize, CrcText(m.header.crc32).c_str(),
                    DosTimeText(m.header.dosDate, m.header.dosTime).c_str(), EncryptionName(m).c_str(),
                    PrintableText(m.stubName).c_str());
        std::string problem = WhyStubCannotHandle(m);
        if (!problem.empty()) std::printf("    the stub cannot handle this member: %s\n", problem.c_str());
        if (!report.refusals[i].empty())
            std::printf("    refused by the stub: %s\n", PrintableText(report.refusals[i]).c_str());
        if (const std::optional<CaseTwin>& twin = report.caseTwins[i]) {
            std::string folder = twin->name == m.stubName ? "" : " (its folder \"" + PrintableText(twin->name) + "\")";
            std::printf("    case twin of \"%s\"%s: %s\n", PrintableText(twin->earlier).c_str(), folder.c_str(),
                        CaseTwinConsequence(*twin).c_str());
        }
    }
}

using Json = nlohmann::ordered_json;

// Sets `key` to a text that may hold any bytes (a path, a name, a signer):
// a parser takes only UTF-8, so bytes that are not become U+FFFD and
// `key`_hex holds them all as they are.
void PutText(Json& object, const std::string& key, const std::string& bytes) {
    object[key] = Utf8WithReplacements(bytes);
    if (!IsValidUtf8(bytes)) object[key + "_hex"] = HexOf(bytes);
}

void PutOptionalText(Json& object, const std::string& key, const std::optional<std::string>& bytes) {
    if (bytes) PutText(object, key, *bytes);
    else object[key] = nullptr;
}

// A settings text, code page 949 in the file, by the same rule.
void PutSettingsText(Json& object, const std::string& key, const std::string& cp949) {
    bool replaced;
    object[key] = Cp949ToUtf8(cp949, &replaced);
    if (replaced) object[key + "_hex"] = HexOf(cp949);
}

Json SettingsJson(const SettingsBlock& s, size_t overflow) {
    Json settings = Json::object();
    settings["flags"] = s.flags;
    settings["show_run_choice"] = bool(s.flags & kSettingsShowRunChoice);
    settings["allow_member_choice"] = bool(s.flags & kSettingsAllowMemberChoice);
    settings["hide_overwrite_choice"] = bool(s.flags & kSettingsHideOverwriteChoice);
    settings["default_overwrite"] = OverwriteModeName(s.flags);
    settings["size_check"] = !(s.flags & kSettingsNoSizeCheck);
    settings["auto_start"] = bool(s.flags & kSettingsAutoStart);
    PutSettingsText(settings, "title", s.title);
    PutSettingsText(settings, "default_dir", s.defaultDir);
    settings["temp_dir"] = s.defaultDir == kTemporaryDirectoryMarker;
    PutSettingsText(settings, "run_command", s.runCommand);
    settings["overflow"] = overflow;
    return settings;
}

Json MemberJson(const FileReport& report, size_t i) {
    const WalkedMember& m = report.walk.members[i];
    std::string problem = WhyStubCannotHandle(m);
    Json member = Json::object();
    PutText(member, "name", m.stubName);
    // A name the stub cannot use as it stands is shown cut, or with "?" for
    // bytes it cannot read: the header's own bytes go with it.
    if (!m.nameUsable && !member.contains("name_hex")) member["name_hex"] = HexOf(m.rawName);
    member["offset"] = m.headerOffset;
    member["method"] = m.header.method;
    member["method_name"] = MethodName(m);
    member["size"] = m.header.uncompressedSize;
    member["compressed_size"] = m.header.compressedSize;
    member["crc32"] = CrcText(m.header.crc32);
    member["time"] = DosTimeText(m.header.dosDate, m.header.dosTime);
    member["encrypted"] = bool(m.header.flags & kFlagEncrypted);
    member["encryption"] = EncryptionName(m);
    member["flags"] = m.header.flags;
    PutOptionalText(member, "problem", problem.empty() ? std::nullopt : std::optional<std::string>(problem));
    PutOptionalText(member, "refused",
                    report.refusals[i].empty() ? std::nullopt : std::optional<std::string>(report.refusals[i]));
    const std::optional<CaseTwin>& twin = report.caseTwins[i];
    PutOptionalText(member, "case_twin_of", twin ? std::optional<std::string>(twin->earlier) : std::nullopt);
    return member;
}

void PrintJson(const FileReport& report) {
    Json out = Json::object();
    PutText(out, "file", report.path);
    out["size"] = report.size;
    out["settings"] = report.hasSettings ? SettingsJson(report.settings, report.settingsOverflow) : Json(nullptr);
    out["size_check"] = {{"enabled", SizeCheckEnabled(report)}, {"matches", report.sizeMatches}};
    Json signature = Json::object();
    signature["signed"] = report.signature == Signature::kSigned || report.signature == Signature::kNoReader;
    signature["damaged"] = report.signature == Signature::kOutsideFile ||
                           report.signature == Signature::kNoCertificate || report.signature == Signature::kUnreadable;
    PutOptionalText(signature, "signer", report.signer);
    out["signature"] = signature;
    out["archive_offset"] = report.archiveBase;
    out["members"] = Json::array();
    for (size_t i = 0; i < report.walk.members.size(); ++i) out["members"].push_back(MemberJson(report, i));
    out["walk_end"] = {{"at", WalkEndName(report.walk.end)}, {"offset", report.walk.endOffset}};
    // Every text is UTF-8 by now; a slip would still give U+FFFD, never output a parser rejects.
    std::string text = out.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
    std::fputs(text.c_str(), stdout);
}

// `info --zip`: what `build --zip` would make of an archive, and its
// members' names as the stub would show them.
int InspectZipInput(const std::string& path, const std::optional<std::string>& nameEncoding) {
    ZipInputOptions options;
    options.allowRefusedNames = true;
    options.nameEncoding = nameEncoding;
    ZipInputPlan plan;
    try {
        plan = PlanZipInput(path, options);
    } catch (const ReadFailure& failure) {
        std::fprintf(stderr, "doromi info: %s\n", PrintableText(failure.what()).c_str());
        return 3;
    } catch (const std::runtime_error& error) {
        std::printf("%s\n", PrintableText(error.what()).c_str());
        return 1;
    }
    std::printf("%s\n%s\n", ZipInputSummary(plan).c_str(), CountOf(plan.members.size(), "member").c_str());
    for (const PlannedMember& member : plan.members) {
        std::string method = CompressionMethodName(member.record.method);
        if (member.recompressed) method += " -> deflate";
        std::printf("  %-18s %12llu  %s", method.c_str(), (unsigned long long)member.record.size,
                    PrintableText(member.written.shownName).c_str());
        if (!member.nameRefusal.empty()) std::printf("  (the stub refuses it: %s)", member.nameRefusal.c_str());
        std::printf("\n");
    }
    for (const std::string& warning : plan.warnings)
        if (warning.compare(0, 20, "the stub will refuse") != 0) std::printf("warning: %s\n", PrintableText(warning).c_str());
    return plan.refusedNames.empty() ? 0 : 1;
}

struct InfoRequest {
    std::string path;
    bool json = false, zip = false;
    std::optional<std::string> nameEncoding;
};

void TakeFile(InfoRequest& request, const std::string& path) {
    if (!request.path.empty()) throw UsageError("give one file");
    request.path = path;
}

using Value = const std::string&;

// One option a row, as the build test option_tables reads the table.
// clang-format off
const CommandOption<InfoRequest> kInfoOptions[] = {
    {"--zip", nullptr, true,
     [](InfoRequest& r, Value, Value v) {
         r.path = v;
         r.zip = true;
     },
     [](const InfoRequest& r) {
         if (!r.path.empty() || r.zip) throw UsageError("give one file");
     }},
    {"--name-encoding", nullptr, true,
     [](InfoRequest& r, Value, Value v) {
         r.nameEncoding = v;
         CheckCodePageName(v);
     }},
    {"--json", nullptr, false, [](InfoRequest& r, Value, Value) { r.json = true; }},
};
// clang-format on

}  // namespace

int InfoCommand(const std::vector<std::string>& arguments) {
    InfoRequest request;
    if (!ParseOptions(arguments, kInfoOptions, request, TakeFile, kInfoHelp)) return 0;
    if (request.path.empty()) throw UsageError("give the file to inspect");
    if (request.nameEncoding && !request.zip) throw UsageError("--name-encoding applies only with --zip");
    if (request.zip && request.json)
        throw UsageError("--json describes a self-extracting file, not an archive given with --zip");
    if (request.zip) return InspectZipInput(request.path, request.nameEncoding);
    FileReport report;
    try {
        report = Inspect(request.path);
    } catch (const ReadFailure& failure) {
        std::fprintf(stderr, "doromi info: %s\n", PrintableText(failure.what()).c_str());
        return 3;
    }
    if (request.json)
        PrintJson(report);
    else
        PrintText(report);
    return IsValidCombinedFile(report) ? 0 : 1;
}
