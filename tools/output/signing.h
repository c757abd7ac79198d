#pragma once
// Authenticode signatures of combined files, made and read through
// osslsigncode. The stub never verifies a signature; its size check only
// lets a correct one through (see archive/size_check.h).
#include <cstdint>
#include <string>

struct SigningRequest {
    std::string certificate;   // PEM certificate chain, with `key`
    std::string key;           // PEM private key
    std::string pkcs12;        // or both in one PKCS#12 file
    std::string passwordFile;  // the key's password, when it has one
    std::string timestampUrl;  // an RFC 3161 time-stamp server
    bool Wanted() const { return !certificate.empty() || !key.empty() || !pkcs12.empty(); }
};

// Refuses incomplete or contradictory signing options.
void CheckSigningRequest(const SigningRequest& request);

// Signs the file at `path` in place: signs a copy, verifies the signature
// against the given certificate chain and checks that the stub's size check
// passes the signed file (its archive at `archiveBase`), and only then puts
// it in the place of the unsigned one. Throws std::runtime_error with the
// reason otherwise, leaving `path` as it was.
void SignCombinedFile(const std::string& path, const SigningRequest& request, uint32_t archiveBase);

// What reading the signer of a file with a certificate table found.
struct SignerReading {
    enum Outcome {
        kRead,        // `subject` holds the signer's subject
        kNoReader,    // osslsigncode cannot be started
        kUnreadable,  // osslsigncode finds no signature it can read; `reason` says what it said
    } outcome;
    // "/CN=.../O=...", with osslsigncode's "\xNN" escapes turned back into
    // the bytes they stand for (UTF-8 for a name in UTF8String, as
    // certificates hold names today).
    std::string subject;
    std::string reason;
};

// Reads the signer's subject of the file at `path` with osslsigncode.
SignerReading ReadSigner(const std::string& path);

// Whether `header`, the first bytes of a certificate table of `tableSize`
// bytes, starts a WIN_CERTIFICATE entry that can hold an Authenticode
// signature: a length that fits the table, revision 1.0 or 2.0, and the
// PKCS#7 SignedData type.
bool StartsCertificateEntry(const std::string& header, uint32_t tableSize);
