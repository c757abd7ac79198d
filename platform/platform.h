#pragma once
// The one seam between the core and whoever runs it. The core calls the
// functions under "Provided by each front end" and defines none of them;
// every program links exactly one definition of each:
//   - the stub: platform/win32/ for the system, ui/ for the dialogs and the
//     member list (a list box);
//   - natively: platform/posix/ for the system, ui/native/ for the member
//     list, and the questions of the doromi tool
//     (tools/output/console_frontend.cpp), of the unit tests
//     (tests/unit/scripted_frontend.cpp) or of the fuzz targets
//     (tests/fuzz/fuzz_frontend.cpp).
// What a front end calls back is under "Provided by the core" at the end.
//
// Each system call behaves as the Win32 call the core was designed around;
// the POSIX side reproduces that behaviour. Answers to the questions are
// left in Sfx, the process state.
//
// Text inside the core is UTF-8, in NUL-terminated `char` buffers and
// counted texts: every name, path, message and caption that crosses this
// seam is UTF-8, with "\" between path components. The Win32 side converts
// to UTF-16 for the wide (W) calls and back, and nowhere else; the POSIX side
// needs no conversion. Limits given in characters (MAX_PATH, the 255 of
// ExtractDir, a member name's 1,024) count UTF-16 units, as Windows does
// (util/utf8.h counts them). The only texts in another encoding are those
// of the settings block (code page 949) and names of archives written
// without UTF-8, which the core converts with CodePageToUtf8.
#include <stdint.h>

typedef void* FileHandle;
typedef void* WindowHandle;

// The value an open returns on failure (Win32's INVALID_HANDLE_VALUE).
#define kInvalidFile ((FileHandle)(intptr_t)-1)

// What SetFilePosition and FileSize return on failure (Win32's
// INVALID_SET_FILE_POINTER and INVALID_FILE_SIZE).
#define kInvalidPosition 0xFFFFFFFFu

// Move methods of SetFilePosition (FILE_BEGIN, FILE_CURRENT, FILE_END).
enum : uint32_t {
    kFromStart = 0,
    kFromCurrent = 1,
    kFromEnd = 2,
};

// ==== Provided by each front end ==========================================

// ---- Files and the system ------------------------------------------------
// The file calls take paths of any length the system takes: the Win32
// side hands a path longer than MAX_PATH allows to Windows in its extended
// form (util/long_path.h), up to 32,767 UTF-16 units. The paths the system
// gives (the executable's, the temporary directory) and the target
// directory are plain paths, shorter than MAX_PATH (260 units): a path
// buffer holds the longest of them as UTF-8, at most three bytes a unit.
enum : uint32_t {
    kLongestPath = 259,                            // in UTF-16 units
    kPathBufferSize = 3 * (kLongestPath + 1) + 1,  // 781 bytes
    kTemporaryNameLength = 15,                     // "~dr", 8 digits, ".tmp"
};

// Writes the NUL-terminated full path of the running executable into
// `buffer` and returns its length; 0 on failure, and when the path does not
// fit `size` (it is then cut, and still terminated).
uint32_t OwnExecutablePath(char* buffer, uint32_t size);

// Opens an existing file for reading while others may read it too
// (GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING).
FileHandle OpenFileForReading(const char* path);

// Closes a file handle; false when the system reports a failure.
bool CloseFile(FileHandle file);

// Moves the file pointer (SetFilePointerEx). From the start, `distance` is
// an unsigned position, so every offset below 4 GiB is reached; from the
// current position or the end it is a signed 32-bit distance (its two's
// complement). The new position must fit in 32 bits: a move beyond fails
// and leaves the pointer where it was. Returns the new position, or
// kInvalidPosition with a non-zero LastSystemError. A successful move to
// position 0xFFFFFFFF returns that same value and sets LastSystemError to 0.
uint32_t SetFilePosition(FileHandle file, uint32_t distance, uint32_t method);

// Reads up to `count` bytes at the file pointer (ReadFile); returns how
// many arrived, fewer only at the end of the file or on a failure.
uint32_t ReadFromFile(FileHandle file, void* buffer, uint32_t count);

// Writes `count` bytes at the file pointer (WriteFile); returns how many
// the system took, fewer on a full disk or another failure, 0 when the
// write failed outright.
uint32_t WriteToFile(FileHandle file, const void* buffer, uint32_t count);

// Low 32 bits of the file's size (GetFileSize), kInvalidPosition on failure.
uint32_t FileSize(FileHandle file);

// The error code of the last failed call above (GetLastError).
uint32_t LastSystemError();

// What exists at exactly this path (GetFileAttributesW): nothing, a file or
// a directory. Nothing is a pattern: "*" and "?" match only themselves, and
// names Windows cannot hold ("*", "?", "<", ">", "|", '"', control
// characters) name nothing. A path ending in "\" names a directory or
// nothing.
enum PathKind : uint32_t {
    kNoEntry = 0,
    kFileEntry = 1,
    kDirectoryEntry = 2,
};
PathKind EntryAt(const char* path);

// Whether a directory at `path` is a link to somewhere else: a reparse point
// (a junction or a symbolic link; Wine reports a folder link of the Unix
// side as one), natively a symbolic link, which then sets LastSystemError
// to ELOOP. False when nothing or an ordinary directory is there.
bool IsLinkedDirectory(const char* path);

// Creates one directory whose parent exists (CreateDirectoryW without
// security attributes); false when it cannot be made or already exists.
bool MakeDirectory(const char* path);

// The temporary directory with a trailing "\" (GetTempPathW), in UTF-8:
// returns its length in bytes when it fits `size` with the terminator,
// otherwise a number of at least `size` (and `buffer` is left alone); 0 on
// failure.
uint32_t TemporaryDirectory(char* buffer, uint32_t size);

// Creates or truncates a file for writing, shared with no one (GENERIC_WRITE,
// CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL); kInvalidFile on failure.
FileHandle CreateFileForWriting(const char* path);

// Creates a file for writing only when nothing is at `path` (CREATE_NEW,
// otherwise as CreateFileForWriting); kInvalidFile when something is, or
// the file cannot be made there. Its failure is no error to report: the
// caller then looks at what is in the way.
FileHandle CreateNewFile(const char* path);

// Whether an existing file may be replaced: false for a file that
// CreateFileForWriting would fail on (read-only, hidden or system, or open
// elsewhere without sharing), which is then left alone.
bool CanReplaceFile(const char* path);

// Creates a file for writing beside `path`, in the same directory, under a
// name of its own: "~dr", 8 hexadecimal digits and ".tmp", made with
// CREATE_NEW (another name on a collision) and hidden. Its path goes to
// `temporaryPath` (`size` bytes); kInvalidFile when no such file can be
// made, or its path does not fit. A member that replaces a file is written
// there first, so that the file it replaces stays as it was until the
// member has passed every check.
FileHandle CreateFileBeside(const char* path, char* temporaryPath, uint32_t size);

// Puts the closed file `replacement` in the place of `existing`: ReplaceFileW,
// which keeps the old file's attributes, ACL and creation time; where that
// fails, the replacement's attributes cleared and MoveFileExW with
// MOVEFILE_REPLACE_EXISTING. False when neither works.
bool ReplaceFileWith(const char* existing, const char* replacement);

// Deletes a file (DeleteFileW); false when it cannot.
bool RemoveFile(const char* path);

// Sets a file's last-write time from a DOS date (high half) and time (low
// half) taken as local time; creation and access times stay. Failures are
// silent: a time that cannot be converted is not set.
void SetFileTimeFromDos(FileHandle file, uint32_t timeDate);

// Makes a directory the process's current directory (SetCurrentDirectoryW);
// false when it cannot be entered.
bool EnterDirectory(const char* path);

// The short (8.3) form of an existing path, written over `path` itself
// (GetShortPathNameW, with one buffer as source and target). Returns the
// short form's length in bytes when it fits `size` with its terminator,
// otherwise a number of at least `size` (and `path` is left alone); 0 when the path names
// nothing. The POSIX side has no short names: a path is its own short form.
uint32_t ShortPathInPlace(char* path, uint32_t size);

// Opens a program or document through the shell (ShellExecuteW with the
// verb "open", no owner window, the current directory and SW_SHOW). The
// outcome is not reported. The POSIX side starts nothing: a Windows command
// means nothing there, so it only records the request (see
// platform/posix/shell_requests.h).
void OpenWithShell(const char* file, const char* parameters);

// The ANSI code page of the system (GetACP): the encoding of the names of
// archives written without UTF-8 on this system. 65001 when Windows uses
// UTF-8 for it.
enum : uint32_t {
    kAnsiCodePage = 0,  // CP_ACP: whatever AnsiCodePage reports
    kKoreanCodePage = 949,
    kUtf8CodePage = 65001,
};
uint32_t AnsiCodePage();

// Whether every character of the ANSI code page is one byte (GetCPInfo's
// MaxCharSize is 1): then every byte string is valid in it, and validity
// tells nothing about which encoding a name was written in.
bool AnsiCodePageIsSingleByte();

// Converts `length` bytes of `codePage` (kAnsiCodePage for the system's)
// into UTF-8 in `out` (`size` bytes, no terminator added), strictly
// (MultiByteToWideChar with MB_ERR_INVALID_CHARS). Returns the length
// written; 0 when a sequence is invalid in the code page, or the result does
// not fit. A code page byte becomes at most three UTF-8 bytes.
uint32_t CodePageToUtf8(uint32_t codePage, const char* in, uint32_t length, char* out, uint32_t size);

// The reverse: `length` bytes of UTF-8 in `codePage`, never through a
// look-alike (WideCharToMultiByte with WC_NO_BEST_FIT_CHARS, and a character
// the code page lacks fails rather than becoming "?"). Returns the length
// written; 0 when the text is not UTF-8, cannot be written in the code page,
// or does not fit. No character needs more bytes there than in UTF-8.
uint32_t Utf8ToCodePage(uint32_t codePage, const char* utf8, uint32_t length, char* out, uint32_t size);

// ---- Cryptography of AES-encrypted members ------------------------------
// Taken from the system: CNG (bcrypt.dll, loaded from the system directory
// only) in the stub, Nettle natively.
typedef void* CryptoHandle;

// Whether the calls below can work here; false where CNG is missing.
bool CryptoAvailable();

// PBKDF2 with HMAC-SHA1: `outLength` bytes of key material from the
// password and the salt. False on failure.
bool DerivePbkdf2Sha1(const uint8_t* password, uint32_t passwordLength, const uint8_t* salt, uint32_t saltLength,
                      uint32_t iterations, uint8_t* out, uint32_t outLength);

// HMAC-SHA1 over data handed in pieces: a handle (null on failure), the
// pieces, then the 20-byte code, which also releases the handle.
CryptoHandle StartHmacSha1(const uint8_t* key, uint32_t keyLength);
bool UpdateHmacSha1(CryptoHandle hmac, const uint8_t* data, uint32_t length);
bool FinishHmacSha1(CryptoHandle hmac, uint8_t* code);

// AES (a 16, 24 or 32-byte key) encrypting whole 16-byte blocks
// independently (ECB), from which counter mode is made: a handle (null on
// failure), any number of runs of blocks, then EndAes.
CryptoHandle StartAes(const uint8_t* key, uint32_t keyLength);
bool EncryptAesBlocks(CryptoHandle aes, const uint8_t* in, uint8_t* out, uint32_t blocks);
void EndAes(CryptoHandle aes);

// ---- Memory and the process ---------------------------------------------

// Heap blocks; ReleaseBlock accepts null.
void* AllocateBlock(uint32_t size);
void ReleaseBlock(void* block);

// Ends the process at once with exit code 0.
[[noreturn]] void EndProcess();

// ---- The member list -----------------------------------------------------
// The catalogue of the archive and, through its selection, the work list of
// an extraction: in the stub a sorted, multiple-selection list box,
// natively an in-memory list with the same results. Each item carries a
// 32-bit value as its data: its member's ordinal (its place in the walk),
// so that every member finds its own item, also among names that are equal
// or differ only in letter case, and marks the core keeps with it
// (archive/member_list.h).
typedef void* MemberList;

// The list that is item `listId` of `dialog`.
MemberList MemberListOf(WindowHandle dialog, int listId);

void ClearMemberList(MemberList list);
// Adds the item `name` for the member `ordinal` (LB_ADDSTRING, then
// LB_SETITEMDATA on the item it gave).
void AddMemberName(MemberList list, const char* name, uint32_t ordinal);
// Called when a listing pass has added its last name, also when it ended
// early: from then on the items are in their sorted order.
void EndMemberListing(MemberList list);

// The data of item `index` (LB_GETITEMDATA, LB_SETITEMDATA).
uint32_t MemberItemData(MemberList list, int32_t index);
void SetMemberItemData(MemberList list, int32_t index, uint32_t data);
bool IsMemberSelected(MemberList list, int32_t index);
// Index -1 sets every item, as LB_SETSEL does.
void SetMemberSelected(MemberList list, int32_t index, bool selected);
int32_t CountMembers(MemberList list);
int32_t CountSelectedMembers(MemberList list);

// ---- Questions and notices -----------------------------------------------
// The Win32 dialogs in the stub, the terminal in the doromi tool, scripted
// answers in tests.

// A message box without owner window and with the error icon.
void ShowError(const char* text, const char* caption);

// A message box without owner window, icon or choice but OK.
void ShowNotice(const char* text, const char* caption);

// Asks for a password; leaves the text in Sfx.PasswordBuffer (UTF-8, at
// most kLongestPassword UTF-16 units, NUL-terminated) and its length in
// bytes in Sfx.PasswordLength.
void AskPassword();

// Asks whether to overwrite the existing file Sfx.ExistingFileName; the
// answer goes through RecordOverwriteAnswer.
void AskOverwrite();

// Lets one pending window message through, so the window stays alive
// between members of a long extraction.
void PumpOneMessage();

// Shows what a pass is doing: "압축 풀기: " and the target path while a
// member is written, the failure sentence after a failed pass.
void ShowProgress(WindowHandle dialog, const char* text);

// Runs the main dialog modally until it ends.
void RunMainDialog();

// ==== Provided by the core ================================================

// Records the answer to AskOverwrite. With `neverAskAgain` the answer
// becomes the policy: Overwrite for yes, Skip for no. Otherwise it decides
// this file only, and while the policy is Overwrite (the user switched to
// it while the question was open) the previous answer stands.
void RecordOverwriteAnswer(bool overwrite, bool neverAskAgain);
