#include "tools/input/archive_input.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <clocale>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>

#include "archive/zip_format.h"
#include "tools/common/text_encoding.h"
#include "tools/input/input_files.h"

namespace {

const size_t kReadBlock = 1 << 16;

// The formats read. Not "all": libarchive's mtree format names files on
// disk, and its raw format takes any file for an archive of one entry.
// ZIP is read only to be told apart and sent to --zip.
const std::vector<int (*)(archive*)> kFormats = {
    archive_read_support_format_7zip,    archive_read_support_format_ar,   archive_read_support_format_cab,
    archive_read_support_format_cpio,    archive_read_support_format_iso9660, archive_read_support_format_lha,
    archive_read_support_format_rar,     archive_read_support_format_rar5, archive_read_support_format_tar,
    archive_read_support_format_xar,     archive_read_support_format_zip,
};

// One libarchive reader of the archive at `path`, from its first entry.
class ArchiveHandle {
public:
    explicit ArchiveHandle(const std::string& path) : path_(path), handle_(archive_read_new()) {
        if (!handle_) throw std::runtime_error("libarchive cannot start reading");
        archive_read_support_filter_all(handle_);
        for (auto support : kFormats) support(handle_);
        if (archive_read_open_filename(handle_, path.c_str(), kReadBlock) != ARCHIVE_OK) {
            std::string reason = Error();
            archive_read_free(handle_);  // the destructor does not run for a constructor that throws
            throw std::runtime_error("cannot read " + PrintableText(path) + ": " + reason);
        }
    }
    ~ArchiveHandle() { archive_read_free(handle_); }
    ArchiveHandle(const ArchiveHandle&) = delete;
    ArchiveHandle& operator=(const ArchiveHandle&) = delete;

    // The next entry's header, skipping what is left of the one before;
    // null at the end. `after` names the entry before, for the message
    // when the archive is damaged there.
    archive_entry* Next(const std::string& after) {
        archive_entry* entry;
        int result = archive_read_next_header(handle_, &entry);
        if (result == ARCHIVE_EOF) return nullptr;
        if (result < ARCHIVE_WARN)
            throw std::runtime_error("cannot read " + PrintableText(path_) +
                                     (after.empty() ? "" : " after its entry " + PrintableText(after)) + ": " +
                                     Error());
        data_ = Data{};
        data_.size = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
        return entry;
    }

    // Reads what is left of the current entry's data and drops it. Used
    // instead of libarchive's own skip when moving to a later entry, as
    // 3.6.2 loses its place in a solid 7z block after skipping a large
    // entry whose data was not read.
    void Drain(const std::string& entryName) {
        std::vector<char> scratch(kReadBlock);
        for (;;) {
            la_ssize_t got = Read(scratch.data(), scratch.size());
            if (got == 0) return;
            if (got < 0)
                throw std::runtime_error("cannot read " + PrintableText(entryName) + " in " + PrintableText(path_) +
                                         ": " + Error());
        }
    }

    bool IsZip() const { return (archive_format(handle_) & ARCHIVE_FORMAT_BASE_MASK) == ARCHIVE_FORMAT_ZIP; }

    // The next bytes of the current entry's data, -1 on failure. Taken
    // from libarchive's blocks, the holes between them (a sparse file's)
    // and after the last one up to the entry's size given as zeros:
    // archive_read_data in 3.6.2 gives an xar archive's entries after the
    // first twice over.
    la_ssize_t Read(char* buffer, size_t capacity) {
        size_t filled = 0;
        while (filled < capacity) {
            if (data_.hole == 0 && data_.blockLeft == 0 && !NextBlock()) {
                if (data_.failed) return -1;
                if (data_.ended) break;
            }
            size_t count;
            if (data_.hole > 0) {
                count = (size_t)std::min<int64_t>(data_.hole, (int64_t)(capacity - filled));
                std::memset(buffer + filled, 0, count);
                data_.hole -= (int64_t)count;
            } else {
                count = std::min(data_.blockLeft, capacity - filled);
                std::memcpy(buffer + filled, data_.block, count);
                data_.block += count;
                data_.blockLeft -= count;
            }
            filled += count;
            data_.position += (int64_t)count;
        }
        return (la_ssize_t)filled;
    }

    std::string Error() const {
        if (!data_.error.empty()) return data_.error;
        const char* text = archive_error_string(handle_);
        return text ? text : "the archive is damaged";
    }

private:
    // The next block of the current entry into data_, with the hole before
    // it; false at the end of the data (after a hole up to the entry's
    // size) and on failure.
    bool NextBlock() {
        if (data_.ended) return false;
        const void* block;
        size_t size;
        la_int64_t offset;
        int result = archive_read_data_block(handle_, &block, &size, &offset);
        if (result == ARCHIVE_EOF) {
            data_.ended = true;
            data_.hole = std::max<int64_t>(0, data_.size - data_.position);
            return data_.hole > 0;
        }
        // A warning here is a failed check of the data (7z's CRC).
        if (result < ARCHIVE_OK || offset < data_.position) {
            if (result == ARCHIVE_OK) data_.error = "its data blocks overlap";
            data_.failed = true;
            return false;
        }
        data_.hole = offset - data_.position;
        data_.block = (const char*)block;
        data_.blockLeft = size;
        return true;
    }

    // Where the reading of the current entry's data stands.
    struct Data {
        int64_t size = 0;      // as its header gives it
        int64_t position = 0;  // bytes given so far
        int64_t hole = 0;      // zeros to give before the block
        const char* block = nullptr;
        size_t blockLeft = 0;
        bool ended = false, failed = false;
        std::string error;     // when the failure is not libarchive's
    };

    std::string path_;
    archive* handle_;
    Data data_;
};

// A name from the archive in UTF-8 (the locale is set to UTF-8 for
// libarchive to convert to), else its bytes as stored.
std::string TextOf(const char* utf8, const char* stored) {
    return utf8 ? utf8 : stored ? stored : "";
}

// A path as extracting tools take it: without leading "/" and "./".
std::string Relative(std::string name) {
    for (;;) {
        if (name.compare(0, 1, "/") == 0) name.erase(0, 1);
        else if (name.compare(0, 2, "./") == 0) name.erase(0, 2);
        else return name == "." ? "" : name;
    }
}

std::string EntryName(archive_entry* entry) {
    return Relative(TextOf(archive_entry_pathname_utf8(entry), archive_entry_pathname(entry)));
}

const char* KindLeftOut(mode_t type) {
    switch (type) {
        case AE_IFCHR: return "a character device";
        case AE_IFBLK: return "a block device";
        case AE_IFIFO: return "a FIFO";
        case AE_IFSOCK: return "a socket";
        default: return "neither a file, a folder nor a link";
    }
}

// Gives each member's data from the archive, reading it front to back:
// a member after the last one read continues the same reader; one at or
// before it (a hard link's copy, or a second read of the same member)
// starts the archive again from its beginning.
class ArchiveDataSource : public MemberDataSource {
public:
    explicit ArchiveDataSource(const std::string& path) : path_(path) {}

    void Open(const ZipMemberSource& member) override {
        current_ = &member;
        auto link = linkTargets_.find(member.entry);
        text_ = link == linkTargets_.end() ? nullptr : &link->second;
        textDone_ = 0;
        if (text_) return;
        if (!reader_ || headersRead_ > member.entry) {
            reader_.reset();  // one open file at a time
            reader_ = std::make_unique<ArchiveHandle>(path_);
            headersRead_ = 0;
        }
        while (headersRead_ <= member.entry) {
            if (headersRead_) reader_->Drain(names_[headersRead_ - 1]);
            archive_entry* entry = reader_->Next(headersRead_ ? names_[headersRead_ - 1] : "");
            if (!entry || EntryName(entry) != names_[headersRead_])
                throw std::runtime_error("cannot read " + PrintableText(member.path) + ": the archive changed");
            ++headersRead_;
        }
    }

    size_t Read(char* buffer, size_t capacity) override {
        if (text_) {
            size_t count = std::min(capacity, text_->size() - textDone_);
            text_->copy(buffer, count, textDone_);
            textDone_ += count;
            return count;
        }
        la_ssize_t got = reader_->Read(buffer, capacity);
        if (got < 0) throw std::runtime_error("cannot read " + PrintableText(current_->path) + ": " + reader_->Error());
        return (size_t)got;
    }

    std::vector<std::string> names_;               // every entry's name, in order, to find them again
    std::map<size_t, std::string> linkTargets_;   // the text of each symbolic link, by entry

private:
    std::string path_;
    std::unique_ptr<ArchiveHandle> reader_;
    size_t headersRead_ = 0;
    const ZipMemberSource* current_ = nullptr;
    const std::string* text_ = nullptr;
    size_t textDone_ = 0;
};

// Walks the entries' headers into members.
class EntryCollector {
public:
    explicit EntryCollector(const std::string& path) : path_(path), source_(new ArchiveDataSource(path)) {}

    ArchiveMembers Collect() {
        ArchiveHandle reader(path_);
        for (size_t index = 0;; ++index) {
            archive_entry* entry = reader.Next(index ? source_->names_.back() : "");
            if (index == 0 && reader.IsZip())
                throw std::runtime_error(PrintableText(path_) + " is a ZIP archive; give it with --zip");
            if (!entry) break;
            source_->names_.push_back(EntryName(entry));
            Add(entry, index);
        }
        if (result_.members.empty())
            throw std::runtime_error("nothing to put in the archive: " + PrintableText(path_) +
                                     " holds no files or folders");
        for (auto index = replaced_.rbegin(); index != replaced_.rend(); ++index)
            result_.members.erase(result_.members.begin() + (long)*index);
        CheckMemberList(result_.members);
        for (ZipMemberSource& member : result_.members) member.dataSource = source_.get();
        result_.data = std::move(source_);
        return std::move(result_);
    }

private:
    std::string Where(const std::string& name) const { return name + " in " + path_; }

    void Add(archive_entry* entry, size_t index) {
        const std::string& name = source_->names_.back();
        if (name.empty()) return;  // the archive's top folder, "./"
        if (archive_entry_is_encrypted(entry))
            throw std::runtime_error(PrintableText(Where(name)) +
                                     " is encrypted, and libarchive cannot decrypt this format's entries");
        ZipMemberSource member;
        member.path = Where(name);
        member.entry = index;
        time_t modified = archive_entry_mtime_is_set(entry) ? archive_entry_mtime(entry) : 0;
        uint32_t stamp = DosDateTime(modified);
        member.dosTime = (uint16_t)stamp;
        member.dosDate = (uint16_t)(stamp >> 16);
        const char* hardlink = archive_entry_hardlink(entry);
        mode_t type = archive_entry_filetype(entry);
        if (hardlink && archive_entry_size(entry) == 0) {
            if (!AddCopy(member, Relative(TextOf(archive_entry_hardlink_utf8(entry), hardlink)))) return;
        } else if (type == AE_IFDIR) {
            member.isDirectory = true;
            member.utf8Name = name.back() == '/' ? name : name + "/";
        } else if (type == AE_IFLNK) {
            std::string target = TextOf(archive_entry_symlink_utf8(entry), archive_entry_symlink(entry));
            member.size = target.size();
            source_->linkTargets_[index] = target;
        } else if (type == AE_IFREG || hardlink) {
            if (!archive_entry_size_is_set(entry))
                throw std::runtime_error(PrintableText(member.path) + " has no size in its header");
            member.size = (uint64_t)archive_entry_size(entry);
            if (hardlink) GiveDataToLinked(member, Relative(TextOf(archive_entry_hardlink_utf8(entry), hardlink)));
        } else {
            result_.warnings.push_back("left out " + member.path + ": " + KindLeftOut(type));
            leftOut_.insert(name);
            return;
        }
        if (member.utf8Name.empty()) member.utf8Name = name;
        if (!member.isDirectory && member.utf8Name.back() == '/')
            throw std::runtime_error(PrintableText(member.path) + " is a file whose name ends in \"/\"");
        Push(member);
    }

    // A hard link without data of its own: a copy of the member it links
    // to, read again from that member's entry. False when it is left out.
    bool AddCopy(ZipMemberSource& member, const std::string& target) {
        auto found = byName_.find(target);
        if (found == byName_.end()) {
            if (leftOut_.count(target)) {  // a device or a FIFO: so is the link to it
                result_.warnings.push_back("left out " + member.path + ": a hard link to " + target +
                                           ", which is left out");
                return false;
            }
            throw std::runtime_error(PrintableText(member.path) + " is a hard link to " + PrintableText(target) +
                                     ", which the archive holds nowhere before it");
        }
        const ZipMemberSource& linked = result_.members[found->second];
        if (linked.isDirectory)
            throw std::runtime_error(PrintableText(member.path) + " is a hard link to the folder " +
                                     PrintableText(target));
        member.size = linked.size;
        member.entry = linked.entry;
        return true;
    }

    // A hard link that brings the data of the file it links to: cpio keeps
    // it with the last link of a file, its earlier links being empty. That
    // file takes this entry's data too, as extracting it through the link
    // would give it.
    void GiveDataToLinked(const ZipMemberSource& member, const std::string& target) {
        auto found = byName_.find(target);
        if (found == byName_.end()) return;
        ZipMemberSource& linked = result_.members[found->second];
        if (linked.isDirectory || linked.size != 0 || source_->linkTargets_.count(linked.entry)) return;
        linked.size = member.size;
        linked.entry = member.entry;
    }

    void Push(ZipMemberSource& member) {
        if (result_.members.size() >= kMostMembers)
            throw std::runtime_error("more than " + std::to_string(kMostMembers) +
                                     " members, the most an archive without ZIP64 holds, at " +
                                     PrintableText(member.path));
        if (member.size > kLargestCombinedFile)
            throw std::runtime_error(PrintableText(member.path) + " is " + std::to_string(member.size) +
                                     " bytes, more than the 4 GiB less one byte a self-extracting file can hold");
        std::string key = member.utf8Name;  // as the archive's links give it
        if (member.isDirectory) key.pop_back();
        // A folder listed again (tar lists one for each time it is given)
        // is the same folder.
        auto earlier = byName_.find(key);
        if (earlier != byName_.end()) {
            ZipMemberSource& before = result_.members[earlier->second];
            if (member.isDirectory && before.isDirectory) return;
            // A file given again (as tar -u appends a newer one) replaces
            // the one before, as extracting the archive would.
            if (member.isDirectory || before.isDirectory)
                throw std::runtime_error(PrintableText(member.path) + " is both a file and a folder");
            result_.warnings.push_back(member.path + " is there more than once; the last one is packed");
            replaced_.insert(earlier->second);
        }
        NameMember(member, member.path);
        byName_[key] = result_.members.size();
        result_.members.push_back(member);
    }

    std::string path_;
    std::unique_ptr<ArchiveDataSource> source_;
    ArchiveMembers result_;
    std::map<std::string, size_t> byName_;  // members by their name in the archive
    std::set<std::string> leftOut_;         // the entries left out, by name
    std::set<size_t> replaced_;             // members a later entry of the same name replaces
};

}  // namespace

ArchiveMembers CollectArchiveMembers(const std::string& path) {
    // libarchive converts names to the locale's character set: UTF-8, so
    // that every name comes in the form the tool takes.
    std::setlocale(LC_CTYPE, "C.UTF-8");
    return EntryCollector(path).Collect();
}
