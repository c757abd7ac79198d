#pragma once
// Authenticode signatures of combined files, made and read through
// osslsigncode. The stub never verifies a signature; its size check only
// lets a correct one through (see archive/size_check.h).
#include <cstdint>
#include <optional>
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

// The signer's subject of a signed file ("/CN=..."), or nothing when it
// cannot be read (osslsigncode missing, or the signature unreadable).
std::optional<std::string> SignerSubject(const std::string& path);
