#pragma once
// A walk over an archive's local headers from its first byte, the way the
// stub finds its members: header after header, each followed by its name,
// extra field and CompressedSize bytes, data descriptors with a signature
// skipped. `doromi info` lists what it finds in detail, and `doromi build`
// checks archives with it, naming what the stub could not handle; the
// stub's own walk only lists names.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "archive/zip_format.h"

struct WalkedMember {
    uint64_t headerOffset;  // from the start of the file
    // The header as it lies in the file, with ZIP64 placeholder sizes
    // replaced from the ZIP64 field as the stub replaces them; nameLength
    // and extraLength are as declared, whatever arrived.
    LocalHeader header;
    std::string rawName;     // every name byte that arrived
    std::string extra;       // the local extra field's bytes that arrived
    bool zip64SizesMissing;  // a ZIP64 placeholder without a usable size in the ZIP64 field
    bool hidesItsSize;       // that, or sizes deferred to a data descriptor that does not follow at once
    // The name as the stub lists it, in UTF-8, decoded by the stub's own
    // rule with the archive's decision on unmarked names; and whether the
    // stub can use it as a path (otherwise it is a form for showing only).
    std::string stubName;
    bool nameUsable;
};

// Where and why the walk stopped.
enum class WalkEnd {
    CentralDirectory,  // a central directory header or an end record follows the last member
    EndOfFile,         // nothing follows the last member
    OtherBytes,        // bytes that are neither: the stub stops there too
};

struct LocalHeaderWalk {
    std::vector<WalkedMember> members;
    WalkEnd end;
    uint64_t endOffset;
    // Whether names without a UTF-8 mark are read as UTF-8 in this archive:
    // decided, as the stub's listing decides it, from every header its
    // walk reaches.
    bool unmarkedNamesUtf8;
};

// Walks from `start` in `file` (already open for reading) and decodes
// every member's name as the stub does.
LocalHeaderWalk WalkLocalHeaders(std::FILE* file, uint64_t start);

// Decides how the members' names without a UTF-8 mark are read, as the
// stub decides it from its walk, and sets every member's stubName and
// nameUsable from its fields (header.flags, header.nameLength, rawName,
// extra, hidesItsSize). Returns the decision.
bool DecodeStubNames(std::vector<WalkedMember>& members);

// The reason a member stops the stub's walk or extraction, or empty when
// the stub can handle it: sizes deferred to a data descriptor, ZIP64,
// methods other than stored and deflated, strong encryption, an empty
// name.
std::string WhyStubCannotHandle(const WalkedMember& member);

// The member's compression method; for an AES member, the one under the
// encryption.
uint16_t RealMethod(const WalkedMember& member);

// The member's encryption as people name it: "none", "traditional",
// "AES-256 (AE-2)", ...
std::string EncryptionName(const WalkedMember& member);

// Why the stub refuses the member's name with a box (and extracts the
// others), or empty when it takes it: the name is longer than the stub
// takes, cannot be read in the encoding it is read in (`unmarkedNamesUtf8`
// is the walk's decision), would leave the target directory, or names a
// Windows device.
std::string WhyStubRefusesName(const WalkedMember& member, bool unmarkedNamesUtf8);
