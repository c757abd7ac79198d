#include "tools/appended_archive.h"

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "tools/local_header_walk.h"
#include "tools/settings_block.h"
#include "tools/text_encoding.h"
#include "tools/zip_format.h"

namespace {

// The name as the stub lists it, for messages.
std::string ShownName(const WalkedMember& member) { return Cp949ToUtf8(StubNameOf(member).cp949); }

std::string ReadWhole(std::FILE* file, const std::string& path) {
    if (fseeko(file, 0, SEEK_END) != 0) throw std::runtime_error("cannot read " + path);
    off_t size = ftello(file);
    if (size < 0 || (uint64_t)size > kLargestCombinedFile - 40448 - kSettingsBlockBytes)
        throw std::runtime_error(path + " is too large: a self-extracting file must stay below 2 GiB");
    std::string bytes((size_t)size, '\0');
    if (fseeko(file, 0, SEEK_SET) != 0 || std::fread(&bytes[0], 1, bytes.size(), file) != bytes.size())
        throw std::runtime_error("cannot read " + path);
    return bytes;
}

}  // namespace

AppendedArchive ReadAppendableArchive(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "rb"), std::fclose);
    if (!file) throw std::runtime_error("cannot open " + path);
    LocalHeaderWalk walk = WalkLocalHeaders(file.get(), 0);
    const std::string refusal = "cannot use " + path + ": ";
    if (walk.members.empty())
        throw std::runtime_error(refusal + "it does not start with a ZIP local header, so the stub would find no members");

    AppendedArchive archive;
    size_t unusableNames = 0;
    std::string firstUnusableName;
    size_t count = walk.members.size();
    for (size_t i = 0; i < count; ++i) {
        const WalkedMember& member = walk.members[i];
        std::string reason = WhyStubCannotHandle(member);
        if (!reason.empty())
            throw std::runtime_error(refusal + "member " + std::to_string(i + 1) + " (\"" + ShownName(member) + "\"): " +
                                     reason);
        if (HasUnusableName(member)) {
            if (unusableNames == 0) firstUnusableName = ShownName(member);
            ++unusableNames;
        }
        archive.members.push_back({member.name, StubNameOf(member).cp949, member.method, member.flags, member.crc,
                                   member.compressedSize, member.size});
    }
    if (walk.end != WalkEnd::CentralDirectory) {
        std::string last = "\"" + ShownName(walk.members.back()) + "\"";
        throw std::runtime_error(refusal + (walk.end == WalkEnd::EndOfFile
                                                ? "it ends after member " + last + " without a central directory"
                                                : "after member " + last + " it holds bytes at offset " +
                                                      std::to_string(walk.endOffset) +
                                                      " that are not a ZIP header, where the stub's walk would stop"));
    }
    if (unusableNames > 0)
        archive.warnings.push_back(std::to_string(unusableNames) + " of " + std::to_string(count) +
                                   " members have names that a Korean Windows cannot hold (the first: \"" +
                                   firstUnusableName + "\"); the stub will refuse them with a message");
    archive.bytes = ReadWhole(file.get(), path);
    return archive;
}
