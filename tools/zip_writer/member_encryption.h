#pragma once
// Encryption of a member's data as the writer streams it: the traditional
// ZIP cipher or WinZip's AES (AE-2), with headers and salts that a rebuild
// makes again byte for byte unless random ones are asked for.
#include <cstdint>
#include <memory>
#include <string>

#include "tools/zip_writer/member_reading.h"
#include "tools/zip_writer/zip_writer.h"

// How a member's data is encrypted as it streams: a header before it, the
// bytes themselves, a trailer after it.
class MemberCipher {
public:
    virtual ~MemberCipher() = default;
    virtual std::string Header() = 0;
    virtual void Apply(std::string& bytes) = 0;
    virtual std::string Trailer() { return ""; }
};

// The cipher for a member's data when there is a password, given the
// digest of its content; null otherwise.
std::unique_ptr<MemberCipher> CipherFor(const ZipWriteOptions& options, const ZipMemberSource& source,
                                        const FileDigest& digest);

// The AES key's length in bytes (its salt is half as long).
uint32_t AesKeyLength(Encryption encryption);

// The AES extra field (0x9901): AE-2, the key strength, the real method.
std::string AesField(Encryption encryption, uint16_t method);
