#include "tools/appended_archive.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "archive/zip_format.h"
#include "tools/case_twins.h"
#include "tools/file_access.h"
#include "tools/local_header_walk.h"
#include "tools/settings_block.h"
#include "tools/text_encoding.h"

namespace {

// Up to five items of a list for a message, and how many more there are.
std::string ListOf(const std::vector<std::string>& items) {
    std::string list;
    for (size_t i = 0; i < items.size() && i < 5; ++i) list += (i ? "; " : "") + items[i];
    if (items.size() > 5) list += "; and " + std::to_string(items.size() - 5) + " more";
    return CountOf(items.size(), "member") + ": " + list;
}

// The archive's size, refused before anything of it is read when the
// combined file (with a settings block) would reach 4 GiB.
size_t AppendableSize(std::FILE* file, const std::string& path) {
    if (fseeko(file, 0, SEEK_END) != 0) throw std::runtime_error("cannot read " + PrintableText(path));
    off_t size = ftello(file);
    if (size < 0 || (uint64_t)size > kLargestCombinedFile - kArchiveBaseWithSettings)
        throw std::runtime_error(PrintableText(path) + " is too large: a self-extracting file must stay below 4 GiB");
    return (size_t)size;
}

std::string ReadWhole(std::FILE* file, const std::string& path) {
    size_t size = AppendableSize(file, path);
    std::string bytes((size_t)size, '\0');
    if (fseeko(file, 0, SEEK_SET) != 0 || std::fread(&bytes[0], 1, bytes.size(), file) != bytes.size())
        throw std::runtime_error("cannot read " + PrintableText(path));
    return bytes;
}

}  // namespace

AppendedArchive ReadAppendableArchive(const std::string& path, bool allowRefusedNames) {
    RequireRegularFile(path, "the archive");
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) throw std::runtime_error("cannot open " + PrintableText(path));
    AppendableSize(file.get(), path);
    LocalHeaderWalk walk = WalkLocalHeaders(file.get(), 0);
    const std::string refusal = "cannot use " + PrintableText(path) + ": ";
    if (walk.members.empty())
        throw std::runtime_error(refusal + "it does not start with a ZIP local header, so the stub would find no members");

    AppendedArchive archive;
    std::vector<std::string> refused, names;
    size_t count = walk.members.size();
    for (size_t i = 0; i < count; ++i) {
        const WalkedMember& member = walk.members[i];
        std::string reason = WhyStubCannotHandle(member);
        if (!reason.empty())
            throw std::runtime_error(refusal + "member " + std::to_string(i + 1) + " (\"" +
                                     PrintableText(member.stubName) + "\"): " + reason);
        std::string why = WhyStubRefusesName(member, walk.unmarkedNamesUtf8);
        if (!why.empty()) refused.push_back("\"" + PrintableText(member.stubName) + "\": " + why);
        names.push_back(member.stubName);
        archive.members.push_back({member.rawName, member.stubName, member.method, member.flags, member.crc,
                                   member.compressedSize, member.size});
    }
    if (walk.end != WalkEnd::CentralDirectory) {
        std::string last = "\"" + PrintableText(walk.members.back().stubName) + "\"";
        throw std::runtime_error(refusal + (walk.end == WalkEnd::EndOfFile
                                                ? "it ends after member " + last + " without a central directory"
                                                : "after member " + last + " it holds bytes at offset " +
                                                      std::to_string(walk.endOffset) +
                                                      " that are not a ZIP header, where the stub's walk would stop"));
    }
    if (!refused.empty()) {
        std::string list = ListOf(refused);
        if (!allowRefusedNames)
            throw std::runtime_error(refusal + "the stub would refuse " + list +
                                     "; --allow-refused-names appends it all the same");
        archive.warnings.push_back("the stub will refuse " + list);
    }
    archive.warnings.push_back(CaseTwinWarning(names));
    if (archive.warnings.back().empty()) archive.warnings.pop_back();
    archive.bytes = ReadWhole(file.get(), path);
    return archive;
}
