#include "archive/member_extraction.h"

#include <string.h>

#include "archive/aes_member.h"
#include "archive/member_names.h"
#include "archive/passwords.h"
#include "archive/zip_format.h"
#include "decode/aes_ctr.h"
#include "decode/inflate.h"
#include "decode/member_io.h"
#include "decode/zip_cipher.h"
#include "platform/platform.h"
#include "startup/sfx_globals.h"
#include "ui/texts.h"
#include "util/archive_position.h"
#include "util/paths.h"

static uint32_t HeaderTimeAndDate() { return Sfx.Header.dosTime | (uint32_t)Sfx.Header.dosDate << 16; }

// Whether a password form opens the encryption header in `work`; the keys
// then stand after the header.
static bool OpensEncryptionHeader(const char* form, uint32_t length, void* work) {
    Text password = {(char*)form, length};
    return CheckPasswordHeader((uint8_t*)work, kEncryptionHeaderSize, Sfx.Header.flags, Sfx.Header.crc32,
                               HeaderTimeAndDate(), password);
}

// Reads the encryption header and finds a password that opens it
// (FindPassword; a member whose item is marked asks at once). On success
// the keys stand ready for the member's data and the archive is at its
// first data byte.
static bool PasswordStep(const PassState& pass) {
    if (!(Sfx.Header.flags & kFlagEncrypted)) return true;
    // The decrypted header goes into the first half, the raw one stays in
    // the second for the next attempt. Bytes a short read leaves are 0.
    uint8_t* work = (uint8_t*)AllocateBlock(2 * kEncryptionHeaderSize);
    if (!work) return false;
    memset(work, 0, 2 * kEncryptionHeaderSize);
    ReadFromFile(Sfx.ArchiveHandle, work + kEncryptionHeaderSize, kEncryptionHeaderSize);
    bool ready = FindPassword(IsPasswordDistrusted(pass.list), OpensEncryptionHeader, work);
    ReleaseBlock(work);
    return ready;
}

// ExtractDir without its trailing "\", then "\" and the member name, with
// "\" between all its components.
static Text TargetPath(const Text& name) {
    RemoveTrailingBackslash(Sfx.ExtractDir);
    uint32_t dirLength = (uint32_t)strlen(Sfx.ExtractDir);
    Text path = MakeText(0, dirLength + 1 + name.length);
    if (path.length == 0) return path;
    memcpy(path.bytes, Sfx.ExtractDir, dirLength);
    path.bytes[dirLength] = '\\';
    memcpy(path.bytes + dirLength + 1, name.bytes, name.length);
    ToBackslashes(path.bytes);
    return path;
}

// A member named with a trailing separator stands for a directory.
static bool IsDirectoryMember(const Text& name) {
    char last = name.bytes[name.length - 1];
    return last == '\\' || last == '/';
}

// The existing-file policy. True when the file is to be written.
static bool MayReplace(PassState& pass, const Text& path) {
    if (Sfx.OverwriteMode == kSkip) {
        MarkMemberDone(pass.list);
        return false;
    }
    if (Sfx.OverwriteMode == kAsk) {
        ReleaseText(Sfx.ExistingFileName);
        Sfx.ExistingFileName = FileNamePart(path);
        AskOverwrite();
        if (!Sfx.OverwriteAnswer) {
            MarkMemberDone(pass.list);
            return false;
        }
    }
    return true;
}

// Whether a directory between the target directory and the member's file
// is a link: following it could put the file anywhere. The target directory
// itself is the user's choice and is not looked at. A directory found plain
// once in the pass is not looked at again, nor are the ones above it.
static bool PassesThroughLink(PassState& pass, Text& path) {
    uint32_t base = PathBufferLength(Sfx.ExtractDir);  // the "\" after the target
    uint32_t resume = base + 1;
    for (uint32_t at = path.length; at-- > base + 1;) {
        if (path.bytes[at] == '\\' && IsKnownPlain(pass.plainDirectories, path.bytes, at)) {
            resume = at + 1;
            break;
        }
    }
    for (uint32_t at = resume, part = resume; at < path.length; ++at) {
        if (path.bytes[at] != '\\') continue;
        // An empty or "." part names the directory before it again, which
        // on Windows would be the target itself when it comes first.
        bool sameAgain = at == part || (at == part + 1 && path.bytes[part] == '.');
        part = at + 1;
        if (sameAgain) continue;
        path.bytes[at] = 0;
        bool linked = IsLinkedDirectory(path.bytes);
        path.bytes[at] = '\\';
        if (linked) return true;
        RememberPlain(pass.plainDirectories, path.bytes, at);
    }
    return false;
}

// Creates the directories the file goes into. False, after telling the
// user, when they still do not exist.
static bool MakeParentDirectories(const Text& path) {
    Text directory = DirectoryPart(path);
    bool exists = directory.length > 0 && (CreateDirectoryPath(directory) || PathExists(directory.bytes));
    if (!exists) ShowError(directory.length ? directory.bytes : path.bytes, TEXT_DIRECTORY_ERROR);
    ReleaseText(directory);
    return exists;
}

static void ShowExtracting(const PassState& pass, const Text& path) {
    static const char prefix[] = TEXT_EXTRACTING;
    Text progress = MakeText(0, sizeof prefix - 1 + path.length);
    if (progress.length == 0) return;
    memcpy(progress.bytes, prefix, sizeof prefix - 1);
    memcpy(progress.bytes + sizeof prefix - 1, path.bytes, path.length);
    ShowProgress(pass.dialog, progress.bytes);
    ReleaseText(progress);
}

// The header's uncompressed size bounds what a member writes, unless the
// sizes follow the data (bit 3) and the header's is zero.
static bool HasDeclaredSize() { return !(Sfx.Header.flags & kFlagSizesAfterData) || Sfx.Header.uncompressedSize != 0; }

// Decodes the member into the open output file; true when its CRC matches
// and it wrote exactly the size its header declares.
static bool WriteMemberData(const PassState& pass, const Text& path) {
    ShowExtracting(pass, path);
    PumpOneMessage();
    bool bounded = HasDeclaredSize();
    Sfx.OutputLeft = bounded ? Sfx.Header.uncompressedSize : 0xFFFFFFFF;
    Sfx.OutputOverrun = false;
    Sfx.RunningCrc = 0xFFFFFFFF;
    Sfx.CompressedLeft = pass.dataLength;
    if (pass.method == kMethodStored) CopyStoredMember();
    else InflateMember();
    bool whole = !Sfx.OutputOverrun && (!bounded || Sfx.OutputLeft == 0) && !AesStream.failed;
    return whole && (!pass.crcChecked || (Sfx.RunningCrc ^ 0xFFFFFFFF) == Sfx.Header.crc32);
}

static bool IsKnownMethod(uint16_t method) { return method == kMethodStored || method == kMethodDeflated; }

static MemberOutcome EndPassForUnknownMethod() {
    ShowError(TEXT_UNKNOWN_METHOD, TEXT_ERROR_CAPTION);
    return kEndPassAtOnce;
}

// Method 99 that is not AES as FindAesField decides it: nothing can decode
// it, so no password is asked for. A directory member is exempt, as from
// every method check.
static bool IsUndecodableAes(const PassState& pass) {
    AesMember aes;
    return Sfx.Header.method == kMethodAes && !IsDirectoryMember(pass.name) &&
           !FindAesField(Sfx.Header.method, Sfx.Header.flags, pass.extra, pass.extraLength, aes);
}

// Where a member's data is written: its own path, or, when it replaces an
// existing file, a temporary file beside it that takes the file's place
// only once the member has passed every check.
struct MemberOutput {
    bool replacing;
    char temporaryPath[kMemberPathBufferSize + kTemporaryNameLength];
};

// The existing file in a file member's place, when the policy says to
// replace it: the member goes to a temporary file beside it. A file that
// cannot be replaced (read-only, hidden, system, in use) fails before any
// temporary file exists.
static MemberOutcome OpenReplacement(PassState& pass, Text& path, MemberOutput& output) {
    if (!MayReplace(pass, path)) return kNextMember;
    if (!IsKnownMethod(pass.method)) return EndPassForUnknownMethod();
    if (CanReplaceFile(path.bytes))
        Sfx.OutputHandle = CreateFileBeside(path.bytes, output.temporaryPath, sizeof output.temporaryPath);
    output.replacing = Sfx.OutputHandle != kInvalidFile;
    if (!output.replacing) ShowError(path.bytes, TEXT_CANNOT_OPEN_FILE);
    return kNextMember;
}

// Opens the member's file in Sfx.OutputHandle when it is to be written,
// after the existing-file policy and the directories it goes into;
// otherwise leaves it kInvalidFile and says how the walk goes on. Only a
// file in a file member's place is an existing file to keep or replace. A
// directory there is not: the member's file then cannot be created, and
// nothing in the directory is touched. A directory member never asks; its
// directory is made or found here.
static MemberOutcome OpenMemberFile(PassState& pass, Text& path, bool directoryMember, MemberOutput& output) {
    if (!directoryMember && EntryAt(path.bytes) == kFileEntry) return OpenReplacement(pass, path, output);
    if (!MakeParentDirectories(path)) return kEndWalk;
    // A directory member is done when a directory is in its place, whatever
    // its method; no file is opened under a name that ends in a separator.
    if (directoryMember) {
        if (EntryAt(path.bytes) == kDirectoryEntry) MarkMemberDone(pass.list);
        else ShowError(path.bytes, TEXT_CANNOT_OPEN_FILE);
        return kNextMember;
    }
    if (!IsKnownMethod(pass.method)) return EndPassForUnknownMethod();
    Sfx.OutputHandle = CreateFileForWriting(path.bytes);
    if (Sfx.OutputHandle == kInvalidFile) ShowError(path.bytes, TEXT_CANNOT_OPEN_FILE);
    return kNextMember;
}

// A written member's file is final only once it has passed every check: a
// new file that failed is removed, and a replacement takes the old file's
// place only now; one that failed is removed and the old file stays as it
// was. True when the member's file is in place.
static bool SettleMemberFile(const Text& path, const MemberOutput& output, bool proven) {
    const char* written = output.replacing ? output.temporaryPath : path.bytes;
    bool placed = proven && (!output.replacing || ReplaceFileWith(path.bytes, written));
    if (!placed) RemoveFile(written);
    if (proven && !placed) ShowError(path.bytes, TEXT_CANNOT_OPEN_FILE);
    return placed;
}

static MemberOutcome WriteMemberFile(PassState& pass, Text& path) {
    bool directoryMember = IsDirectoryMember(pass.name);
    if (PassesThroughLink(pass, path)) {
        ShowError(path.bytes, TEXT_CANNOT_OPEN_FILE);
        return kNextMember;
    }
    MemberOutput output;
    output.replacing = false;
    // Most files are new, in a directory that exists: creating the file
    // only when nothing is in its place settles in one call that no policy
    // applies and no directory is missing (under Wine an existence test
    // costs a scan of the directory). Anything in the way, or a missing
    // directory, goes through OpenMemberFile as before.
    bool mayBeNew = !directoryMember && IsKnownMethod(pass.method);
    Sfx.OutputHandle = mayBeNew ? CreateNewFile(path.bytes) : kInvalidFile;
    if (Sfx.OutputHandle == kInvalidFile) {
        MemberOutcome outcome = OpenMemberFile(pass, path, directoryMember, output);
        if (Sfx.OutputHandle == kInvalidFile) return outcome;
    }
    bool intact = WriteMemberData(pass, path);
    SetFileTimeFromDos(Sfx.OutputHandle, HeaderTimeAndDate());
    // A file whose close fails may not hold what was written.
    bool closed = CloseFile(Sfx.OutputHandle);
    Sfx.OutputHandle = kInvalidFile;
    if (!closed) ShowError(path.bytes, TEXT_CLOSE_FAILED);
    if (SettleMemberFile(path, output, intact && closed)) MarkMemberDone(pass.list);
    else if (!intact && (Sfx.Header.flags & kFlagEncrypted)) DistrustPasswordFor(pass.list);
    return kNextMember;
}

// The password step of an encrypted member, and what its data is: true
// when the member is to be written; otherwise `outcome` says how the walk
// goes on. An AES member whose authentication code does not match fails
// like a CRC failure, before its file is touched.
static bool PrepareMemberData(PassState& pass, MemberOutcome& outcome) {
    pass.method = Sfx.Header.method;
    pass.crcChecked = true;
    AesMember aes;
    if (FindAesField(Sfx.Header.method, Sfx.Header.flags, pass.extra, pass.extraLength, aes)) {
        AesStepOutcome step = PrepareAesMember(aes, MemberDataPosition(pass), IsPasswordDistrusted(pass.list));
        pass.ready = step != kAesNoPassword;
        outcome = step == kAesNoPassword ? kEndWalk : kNextMember;
        if (step == kAesUnauthentic) DistrustPasswordFor(pass.list);
        pass.method = aes.method;
        pass.crcChecked = aes.version == 1;
        pass.dataLength = Sfx.CompressedLeft;
        return step == kAesReady;
    }
    pass.ready = PasswordStep(pass);
    uint32_t size = Sfx.Header.compressedSize;
    if (Sfx.Header.flags & kFlagEncrypted) size = size > kEncryptionHeaderSize ? size - kEncryptionHeaderSize : 0;
    pass.dataLength = size;
    outcome = pass.ready ? kNextMember : kEndWalk;
    return pass.ready;
}

MemberOutcome ExtractMember(PassState& pass) {
    pass.ready = false;
    if (!pass.nameUsable || !IsSafeMemberName(pass.name)) {
        // Refused like a file that cannot be opened: it stays selected and
        // the pass reports that not everything was extracted.
        pass.ready = true;
        ShowError(pass.name.bytes, TEXT_BAD_MEMBER_NAME);
        return kNextMember;
    }
    if (IsUndecodableAes(pass)) return EndPassForUnknownMethod();
    SeekArchive(MemberDataPosition(pass));
    MemberOutcome outcome = kNextMember;
    if (PrepareMemberData(pass, outcome)) {
        Text path = TargetPath(pass.name);
        if (path.length == 0) ShowError(TEXT_OUT_OF_MEMORY, TEXT_ERROR_CAPTION);
        else outcome = WriteMemberFile(pass, path);
        ReleaseText(path);
    }
    EndAesStream();
    return outcome;
}
