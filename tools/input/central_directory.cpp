#include "tools/input/central_directory.h"

#include <algorithm>
#include <stdexcept>

#include "archive/extra_fields.h"
#include "archive/zip_format.h"
#include "tools/common/text_encoding.h"

namespace {

const uint32_t kZip64LocatorSignature = 0x07064B50;
const uint32_t kZip64LocatorSize = 20;
const uint32_t kZip64EndRecordSize = 56;
const uint32_t kCentralRecordSize = 46;
const uint32_t kLongestComment = 0xFFFF;
// A directory larger than this is refused rather than read into memory:
// 65,535 records with names and extra fields of the largest sizes stay far
// below it.
const uint64_t kLargestDirectory = 64 << 20;

uint64_t Le(const std::string& bytes, size_t at, int count) {
    uint64_t value = 0;
    for (int i = count - 1; i >= 0; --i) value = value << 8 | (uint8_t)bytes[at + i];
    return value;
}

class Reader {
public:
    Reader(std::FILE* file, const std::string& path) : file_(file), path_(path) {}

    std::string At(uint64_t offset, size_t count) const {
        std::string bytes(count, '\0');
        if (count && (fseeko(file_, (off_t)offset, SEEK_SET) != 0 || std::fread(&bytes[0], 1, count, file_) != count))
            Damaged("it ends before the " + std::to_string(count) + " bytes at offset " + std::to_string(offset) +
                    " that its directory points to");
        return bytes;
    }
    uint64_t Size() const {
        if (fseeko(file_, 0, SEEK_END) != 0) throw std::runtime_error("cannot read " + PrintableText(path_));
        return (uint64_t)ftello(file_);
    }
    [[noreturn]] void Damaged(const std::string& what) const {
        throw std::runtime_error("cannot use " + PrintableText(path_) + ": the archive is damaged: " + what);
    }

private:
    std::FILE* file_;
    const std::string& path_;
};

const uint64_t kNoEndRecord = UINT64_MAX;

// The last end record whose comment ends within the file, searched for in
// the file's last 64 KiB and 22 bytes.
uint64_t FindEndRecord(const Reader& reader, uint64_t fileSize) {
    uint64_t span = std::min<uint64_t>(fileSize, kEndRecordFixedSize + kLongestComment);
    std::string tail = reader.At(fileSize - span, (size_t)span);
    for (size_t i = tail.size() >= kEndRecordFixedSize ? tail.size() - kEndRecordFixedSize + 1 : 0; i-- > 0;) {
        if (Le(tail, i, 4) != kEndRecordSignature) continue;
        if (i + kEndRecordFixedSize + Le(tail, i + kEndRecordCommentLengthOffset, 2) <= tail.size())
            return fileSize - span + i;
    }
    return kNoEndRecord;
}

// Replaces the record's placeholders with the values of its ZIP64 field:
// the real size, the compressed size, the local header's offset, in that
// order, each present only when its field holds 0xFFFFFFFF.
bool TakeZip64Values(CentralRecord& record) {
    const uint8_t* data;
    uint32_t size;
    if (!FindExtraField((const uint8_t*)record.extra.data(), (uint32_t)record.extra.size(), kExtraZip64, &data, &size))
        return !(record.size == 0xFFFFFFFF || record.compressedSize == 0xFFFFFFFF || record.localOffset == 0xFFFFFFFF);
    std::string field((const char*)data, size);
    size_t at = 0;
    for (uint64_t* value : {&record.size, &record.compressedSize, &record.localOffset}) {
        if (*value != 0xFFFFFFFF) continue;
        if (at + 8 > field.size()) return false;
        *value = Le(field, at, 8);
        at += 8;
    }
    return true;
}

// The record at `at` of the directory's `bytes`, the `index`th, with its
// ZIP64 values taken; `at` moves past it.
CentralRecord ReadRecord(const Reader& reader, const std::string& bytes, size_t& at, size_t index) {
    CentralRecord r{};
    r.madeBy = (uint16_t)Le(bytes, at + 4, 2);
    r.flags = (uint16_t)Le(bytes, at + 8, 2);
    r.method = (uint16_t)Le(bytes, at + 10, 2);
    r.dosTime = (uint16_t)Le(bytes, at + 12, 2);
    r.dosDate = (uint16_t)Le(bytes, at + 14, 2);
    r.crc = (uint32_t)Le(bytes, at + 16, 4);
    r.compressedSize = Le(bytes, at + 20, 4);
    r.size = Le(bytes, at + 24, 4);
    size_t nameLength = Le(bytes, at + 28, 2), extraLength = Le(bytes, at + 30, 2),
           commentLength = Le(bytes, at + 32, 2);
    r.internalAttributes = (uint16_t)Le(bytes, at + 36, 2);
    r.externalAttributes = (uint32_t)Le(bytes, at + 38, 4);
    r.localOffset = Le(bytes, at + 42, 4);
    size_t variable = at + kCentralRecordSize;
    if (variable + nameLength + extraLength + commentLength > bytes.size())
        reader.Damaged("central directory record " + std::to_string(index + 1) + " runs past the directory's end");
    r.name = bytes.substr(variable, nameLength);
    r.extra = bytes.substr(variable + nameLength, extraLength);
    if (!TakeZip64Values(r))
        reader.Damaged("the central directory record of \"" + PrintableText(Utf8WithReplacements(r.name)) +
                       "\" has ZIP64 placeholders without their values");
    at = variable + nameLength + extraLength + commentLength;
    return r;
}

}  // namespace

CentralDirectory ReadCentralDirectory(std::FILE* file, const std::string& path) {
    Reader reader(file, path);
    CentralDirectory directory{};
    directory.fileSize = reader.Size();
    uint64_t endRecord = FindEndRecord(reader, directory.fileSize);
    if (endRecord == kNoEndRecord)
        throw std::runtime_error("cannot use " + PrintableText(path) +
                                 ": it has no end-of-central-directory record, so it is not a ZIP archive or it is cut "
                                 "short");
    std::string end = reader.At(endRecord, kEndRecordFixedSize);
    directory.recordsEnd = endRecord + kEndRecordFixedSize + Le(end, kEndRecordCommentLengthOffset, 2);
    uint64_t count = Le(end, 10, 2), size = Le(end, 12, 4), offset = Le(end, 16, 4);
    directory.end = endRecord;
    if (endRecord >= kZip64LocatorSize &&
        Le(reader.At(endRecord - kZip64LocatorSize, 4), 0, 4) == kZip64LocatorSignature) {
        std::string locator = reader.At(endRecord - kZip64LocatorSize, kZip64LocatorSize);
        // The ZIP64 end record lies just before the locator; its offset in
        // the locator counts from the archive's start like every other.
        uint64_t zip64End = endRecord - kZip64LocatorSize - kZip64EndRecordSize;
        if (endRecord < kZip64LocatorSize + kZip64EndRecordSize ||
            Le(reader.At(zip64End, 4), 0, 4) != kZip64EndRecordSignature)
            zip64End = Le(locator, 8, 8);
        std::string record = reader.At(zip64End, kZip64EndRecordSize);
        if (Le(record, 0, 4) != kZip64EndRecordSignature) reader.Damaged("its ZIP64 end record is missing");
        count = Le(record, 32, 8), size = Le(record, 40, 8), offset = Le(record, 48, 8);
        directory.end = zip64End;
        directory.zip64 = true;
    }
    if (size > kLargestDirectory || size > directory.end)
        reader.Damaged("its end record gives a central directory of " + std::to_string(size) + " bytes");
    // The directory ends where the end records begin; when the offsets
    // count from a later start, bytes precede the archive (as in a
    // self-extracting file) and every offset is shifted by as many.
    directory.start = directory.end - size;
    directory.shift = (int64_t)directory.start - (int64_t)offset;
    if (directory.shift < 0) reader.Damaged("its central directory offset points past the directory's place");
    std::string bytes = reader.At(directory.start, (size_t)size);
    size_t at = 0;
    while (directory.records.size() < count) {
        if (at + kCentralRecordSize > bytes.size() || Le(bytes, at, 4) != kCentralHeaderSignature)
            reader.Damaged("its central directory holds " + std::to_string(directory.records.size()) +
                           " records where its end record counts " + std::to_string(count));
        CentralRecord r = ReadRecord(reader, bytes, at, directory.records.size());
        directory.records.push_back(r);
    }
    return directory;
}
