#include "tools/input/input_files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <ctime>
#include <stdexcept>

#include "archive/member_names.h"
#include "archive/zip_format.h"
#include "tools/common/text_encoding.h"
#include "tools/input/name_rules.h"
#include "util/utf8.h"

// The member name in the header's form for a UTF-8 name, after the checks
// Windows would make of it: characters it does not allow, and lengths in
// UTF-16 units (its characters) beyond the stub's. Conjoining Hangul jamo
// (as macOS writes Korean names) are composed first, as the stub composes
// them, so that the header holds the name the stub will list.
void NameMember(ZipMemberSource& member, const std::string& path) {
    std::string& name = member.utf8Name;
    if (!IsValidUtf8(name)) throw std::runtime_error("the name of " + PrintableText(path) + " is not valid UTF-8");
    // The stub takes "\" for a separator; the other characters Windows does
    // not allow are refused with the stub's other refusals.
    if (name.find('\\') != std::string::npos)
        throw std::runtime_error("the name of " + PrintableText(path) +
                                 " holds the character \"\\\", which Windows does not allow in file names");
    name.resize(ComposeHangulJamo(&name[0], (uint32_t)name.size()));
    uint32_t units = Utf16Units(name.data(), (uint32_t)name.size());
    if (units > kLongestMemberName)
        throw std::runtime_error("the member name for " + PrintableText(path) + " is " + std::to_string(units) +
                                 " characters (UTF-16 units) long, " + std::to_string(units - kLongestMemberName) +
                                 " more than the stub's " + std::to_string(kLongestMemberName));
    for (size_t start = 0; start < name.size();) {
        size_t end = std::min(name.find('/', start), name.size());
        uint32_t partUnits = Utf16Units(name.data() + start, (uint32_t)(end - start));
        // The 255 bytes most Linux file systems allow are never more units
        // than that, but mounts that count characters (NTFS, SMB) allow more.
        if (partUnits > kLongestNamePart)
            throw std::runtime_error("the name of " + PrintableText(path) + " has a part of " +
                                     std::to_string(partUnits) + " characters (UTF-16 units); Windows takes at most " +
                                     std::to_string(kLongestNamePart) + " in a file or folder name");
        start = end + 1;
    }
    Cp949Result cp949 = Utf8ToCp949(name);
    member.utf8Header = cp949.failure.has_value();
    member.headerName = member.utf8Header ? name : cp949.bytes;
}

namespace {

// Names the stub would refuse with a box: characters Windows does not
// allow, Windows devices (CON, AUX.txt, COM1.log, ...), components ending
// in a dot or a blank.
void RefuseWhatTheStubRefuses(const std::vector<ZipMemberSource>& members) {
    std::vector<std::string> refused;
    for (const ZipMemberSource& member : members) {
        std::string why = NameRefusal(member.utf8Name);
        if (!why.empty()) refused.push_back(PrintableText(member.path) + " (" + why + ")");
    }
    if (refused.empty()) return;
    std::string list;
    for (size_t i = 0; i < refused.size() && i < 5; ++i) list += (i ? "; " : "") + refused[i];
    if (refused.size() > 5) list += "; and " + std::to_string(refused.size() - 5) + " more";
    throw std::runtime_error("the stub would refuse " + CountOf(refused.size(), "name") + ": " + list +
                             "; rename them");
}

bool SameFile(const FileIdentity& identity, const struct stat& status) {
    return identity.device == status.st_dev && identity.inode == status.st_ino;
}

class Collector {
public:
    explicit Collector(const std::vector<FileIdentity>& excluded) : excluded_(excluded) {}

    // `name` is the member name ("" for a folder whose contents go to the top).
    void Add(const std::string& path, const std::string& name) {
        struct stat status;
        if (stat(path.c_str(), &status) != 0)
            throw std::runtime_error("cannot read " + PrintableText(path) + ": " + std::strerror(errno));
        for (const FileIdentity& identity : excluded_)
            if (SameFile(identity, status)) return;
        if (S_ISREG(status.st_mode)) {
            AddMember(path, name, false, status);
        } else if (S_ISDIR(status.st_mode)) {
            AddDirectory(path, name, status);
        } else {
            throw std::runtime_error(PrintableText(path) + " is neither a regular file nor a folder");
        }
    }

    std::vector<ZipMemberSource>& Members() { return members_; }

private:
    // Checked as members come, so that a tree of links that branch at
    // every level ends here instead of being walked to the end.
    void AddMember(const std::string& path, const std::string& name, bool isDirectory, const struct stat& status) {
        if (members_.size() >= kMostMembers)
            throw std::runtime_error("more than " + std::to_string(kMostMembers) +
                                     " members, the most an archive without ZIP64 holds, at " + PrintableText(path));
        ZipMemberSource member;
        member.utf8Name = name;
        NameMember(member, path);
        member.path = path;
        member.isDirectory = isDirectory;
        member.size = isDirectory ? 0 : (uint64_t)status.st_size;
        if (member.size > kLargestCombinedFile)
            throw std::runtime_error(PrintableText(path) + " is " + std::to_string(member.size) +
                                     " bytes, more than the 4 GiB less one byte a self-extracting file can hold");
        uint32_t stamp = DosDateTime(status.st_mtime);
        member.dosTime = (uint16_t)stamp;
        member.dosDate = (uint16_t)(stamp >> 16);
        members_.push_back(member);
    }

    void AddDirectory(const std::string& path, const std::string& name, const struct stat& status) {
        for (const FileIdentity& ancestor : ancestors_)
            if (SameFile(ancestor, status))
                throw std::runtime_error(PrintableText(path) + " leads back into a folder above it");
        if (!name.empty()) AddMember(path, name + "/", true, status);

        DIR* listing = opendir(path.c_str());
        if (!listing)
            throw std::runtime_error("cannot read the folder " + PrintableText(path) + ": " + std::strerror(errno));
        std::vector<std::string> entries;
        while (struct dirent* entry = readdir(listing))
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                entries.push_back(entry->d_name);
        closedir(listing);

        ancestors_.push_back({status.st_dev, status.st_ino});
        std::string base = path.empty() || path.back() == '/' ? path : path + "/";
        for (const std::string& entry : entries) Add(base + entry, name.empty() ? entry : name + "/" + entry);
        ancestors_.pop_back();
    }

    const std::vector<FileIdentity>& excluded_;
    std::vector<ZipMemberSource> members_;
    std::vector<FileIdentity> ancestors_;
};

// A folder path that stands for its contents: "dir/", ".", "dir/..".
bool NamesContents(const std::string& path) {
    if (path.empty() || path.back() == '/') return true;
    size_t slash = path.rfind('/');
    std::string last = slash == std::string::npos ? path : path.substr(slash + 1);
    return last == "." || last == "..";
}

std::string LastComponent(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

std::vector<ZipMemberSource> CollectMembers(const std::vector<std::string>& paths,
                                            const std::vector<FileIdentity>& excluded) {
    Collector collector(excluded);
    for (const std::string& path : paths) {
        struct stat status;
        bool contents = NamesContents(path) && stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
        collector.Add(path, contents ? "" : LastComponent(path));
    }
    std::vector<ZipMemberSource>& members = collector.Members();
    if (members.empty()) throw std::runtime_error("nothing to put in the archive: the inputs hold no files or folders");
    std::sort(members.begin(), members.end(),
              [](const ZipMemberSource& a, const ZipMemberSource& b) { return a.utf8Name < b.utf8Name; });
    CheckMemberList(members);
    return members;
}

void CheckMemberList(const std::vector<ZipMemberSource>& members) {
    std::vector<const ZipMemberSource*> byName;
    for (const ZipMemberSource& member : members) byName.push_back(&member);
    std::stable_sort(byName.begin(), byName.end(),
                     [](const ZipMemberSource* a, const ZipMemberSource* b) { return a->utf8Name < b->utf8Name; });
    for (size_t i = 1; i < byName.size(); ++i)
        if (byName[i]->utf8Name == byName[i - 1]->utf8Name)
            throw std::runtime_error("two inputs give the same member name " + PrintableText(byName[i]->utf8Name) +
                                     " (" + PrintableText(byName[i - 1]->path) + " and " +
                                     PrintableText(byName[i]->path) + ")");
    RefuseWhatTheStubRefuses(members);
}

uint32_t DosDateTime(time_t modified) {
    time_t even = modified + (modified & 1);  // DOS times count two-second steps
    struct tm local;
    if (!localtime_r(&even, &local) || local.tm_year < 80) return (0 << 25 | 1 << 21 | 1 << 16);  // 1980-01-01 00:00
    if (local.tm_year > 207) return (127u << 25 | 12 << 21 | 31 << 16 | 23 << 11 | 59 << 5 | 29);
    uint32_t date = (uint32_t)(local.tm_year - 80) << 9 | (uint32_t)(local.tm_mon + 1) << 5 | (uint32_t)local.tm_mday;
    uint32_t seconds = local.tm_sec > 59 ? 59 : (uint32_t)local.tm_sec;  // a leap second
    uint32_t time = (uint32_t)local.tm_hour << 11 | (uint32_t)local.tm_min << 5 | seconds / 2;
    return date << 16 | time;
}
