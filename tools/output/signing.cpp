#include "tools/output/signing.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <vector>

#include "archive/extra_fields.h"
#include "archive/size_check.h"
#include "tools/common/core_state.h"
#include "tools/common/file_access.h"
#include "tools/common/text_encoding.h"
#include "tools/common/usage_error.h"

extern char** environ;

namespace {

const char kSigner[] = "osslsigncode";
// OpenSSL reads passwords of up to 1,024 bytes.
const size_t kLongestKeyPassword = 1024;

struct ToolRun {
    bool started;
    int status;          // the exit status when it started
    std::string output;  // standard output and error together
};

// Runs a program found on PATH with `arguments`, collecting what it prints;
// `input` is its standard input (a line of at most 1,025 bytes, which the
// pipe takes whole).
ToolRun Run(const std::vector<std::string>& arguments, const std::string& input = "") {
    ToolRun run{false, -1, ""};
    int pipeEnds[2], inputEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return run;
    if (pipe2(inputEnds, O_CLOEXEC) != 0) {
        close(pipeEnds[0]);
        close(pipeEnds[1]);
        return run;
    }
    bool fed = write(inputEnds[1], input.data(), input.size()) == (ssize_t)input.size();
    close(inputEnds[1]);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    posix_spawn_file_actions_adddup2(&actions, inputEnds[0], STDIN_FILENO);
    std::vector<char*> argv;
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child;
    run.started = fed && posix_spawnp(&child, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[1]);
    close(inputEnds[0]);
    char buffer[4096];
    ssize_t got;
    while ((got = read(pipeEnds[0], buffer, sizeof buffer)) > 0 || (got < 0 && errno == EINTR))
        if (got > 0) run.output.append(buffer, (size_t)got);
    close(pipeEnds[0]);
    if (run.started) {
        int status;
        while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }
        run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return run;
}

// The line of a tool's output that says most about its failure: the first
// that reports an error, else the last, for a one-line message.
std::string Gist(const std::string& output) {
    std::string chosen, line;
    for (size_t start = 0; start < output.size();) {
        size_t end = output.find('\n', start);
        line = output.substr(start, end == std::string::npos ? std::string::npos : end - start);
        if (!line.empty()) chosen = line;
        if (line.find("rror") != std::string::npos) break;
        start = end == std::string::npos ? output.size() : end + 1;
    }
    return chosen.size() > 300 ? chosen.substr(0, 300) + "..." : chosen;
}

void RunSigner(const std::vector<std::string>& arguments, const std::string& what, const std::string& input = "") {
    ToolRun run = Run(arguments, input);
    if (!run.started)
        throw std::runtime_error(std::string("signing needs ") + kSigner + ", which is not installed (apt-get install " +
                                 kSigner + ")");
    if (run.status != 0) throw std::runtime_error(what + " failed: " + Gist(run.output));
}

// The certificate chain to verify against: the PEM file given, or the one
// inside the PKCS#12 file, taken out with openssl.
std::string ChainFile(const SigningRequest& request, const std::string& password, const std::string& scratch) {
    if (request.pkcs12.empty()) return request.certificate;
    std::vector<std::string> arguments = {"openssl", "pkcs12", "-in", request.pkcs12, "-nokeys", "-out", scratch,
                                          "-passin", "stdin"};
    ToolRun run = Run(arguments, password + "\n");
    if (!run.started || run.status != 0)
        throw std::runtime_error("cannot read the certificates of " + PrintableText(request.pkcs12) + ": " +
                                 Gist(run.output));
    return scratch;
}

bool SizeCheckPasses(const std::string& path, uint32_t archiveBase) {
    EnsureCrcTable();
    FileHandle file = OpenWithCore(path);
    if (file == kInvalidFile) return false;
    bool passes = ArchiveSizeMatches(file, archiveBase);
    CloseFile(file);
    return passes;
}

}  // namespace

void CheckSigningRequest(const SigningRequest& request) {
    bool pem = !request.certificate.empty() || !request.key.empty();
    if (pem && !request.pkcs12.empty()) throw UsageError("--sign-pkcs12 and --sign-cert/--sign-key exclude each other");
    if (pem && (request.certificate.empty() || request.key.empty()))
        throw UsageError("--sign-cert and --sign-key go together");
    if (!request.Wanted() && (!request.passwordFile.empty() || !request.timestampUrl.empty()))
        throw UsageError("--sign-password-file and --timestamp only apply when signing");
}

void SignCombinedFile(const std::string& path, const SigningRequest& request, uint32_t archiveBase) {
    std::string signedPath = path + ".signed", chainPath = path + ".chain";
    struct Cleanup {
        std::string a, b;
        ~Cleanup() {
            unlink(a.c_str());
            unlink(b.c_str());
        }
    } cleanup{signedPath, chainPath};
    // The password is read here, as far as it can be used, and handed on
    // through a pipe: the file may be a pipe itself, which can be read once.
    std::string password;
    if (!request.passwordFile.empty())
        password = ReadFirstLine(request.passwordFile, kLongestKeyPassword, "the signing password file");
    std::vector<std::string> sign = {kSigner, "sign"};
    if (request.pkcs12.empty()) sign.insert(sign.end(), {"-certs", request.certificate, "-key", request.key});
    else sign.insert(sign.end(), {"-pkcs12", request.pkcs12});
    if (!request.passwordFile.empty()) sign.insert(sign.end(), {"-readpass", "-"});
    if (!request.timestampUrl.empty()) sign.insert(sign.end(), {"-ts", request.timestampUrl});
    sign.insert(sign.end(), {"-in", path, "-out", signedPath});
    RunSigner(sign, "signing", password + "\n");
    RunSigner({kSigner, "verify", "-in", signedPath, "-CAfile", ChainFile(request, password, chainPath)},
              "verifying the signature");
    if (!SizeCheckPasses(signedPath, archiveBase))
        throw std::runtime_error("the signed file would fail the stub's size check");
    if (rename(signedPath.c_str(), path.c_str()) != 0)
        throw std::runtime_error("cannot replace " + PrintableText(path) +
                                 " with its signed form: " + std::strerror(errno));
}

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// osslsigncode prints a name as OpenSSL's one-line form, in which every
// byte outside printable ASCII is "\xNN": the bytes again.
std::string DecodeEscapes(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        int high = i + 3 < text.size() && text[i] == '\\' && text[i + 1] == 'x' ? HexDigit(text[i + 2]) : -1;
        int low = high >= 0 ? HexDigit(text[i + 3]) : -1;
        if (low < 0) {
            out += text[i];
            continue;
        }
        out += (char)(high << 4 | low);
        i += 3;
    }
    return out;
}

// What osslsigncode said about a signature it could not read: its line
// about the signature, else its gist.
std::string SignatureComplaint(const std::string& output) {
    for (size_t start = 0; start < output.size();) {
        size_t end = std::min(output.find('\n', start), output.size());
        std::string line = output.substr(start, end - start);
        if (line.find("ignature") != std::string::npos) return line;
        start = end + 1;
    }
    return Gist(output);
}

}  // namespace

SignerReading ReadSigner(const std::string& path) {
    // Without a trusted chain the verification fails, but the signer's
    // certificate is printed all the same.
    ToolRun run = Run({kSigner, "verify", "-in", path, "-CAfile", "/dev/null"});
    if (!run.started) return {SignerReading::kNoReader, "", ""};
    const std::string label = "Subject: ";
    size_t at = run.output.find(label);
    if (at == std::string::npos) return {SignerReading::kUnreadable, "", SignatureComplaint(run.output)};
    at += label.size();
    size_t end = std::min(run.output.find('\n', at), run.output.size());
    return {SignerReading::kRead, DecodeEscapes(run.output.substr(at, end - at)), ""};
}

bool StartsCertificateEntry(const std::string& header, uint32_t tableSize) {
    const uint16_t kRevision1 = 0x0100, kRevision2 = 0x0200, kPkcsSignedData = 0x0002;
    if (header.size() < 8) return false;
    const uint8_t* bytes = (const uint8_t*)header.data();
    uint32_t length = ReadLittleEndian(bytes, 4), revision = ReadLittleEndian(bytes + 4, 2),
             type = ReadLittleEndian(bytes + 6, 2);
    return length > 8 && length <= tableSize && (revision == kRevision1 || revision == kRevision2) &&
           type == kPkcsSignedData;
}
