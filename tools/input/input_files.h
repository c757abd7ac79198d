#pragma once
// The members `doromi build` makes from the files and folders it is given.
#include <sys/types.h>

#include <string>
#include <vector>

#include "tools/zip_writer/zip_writer.h"

// A file that must not become a member (the output file itself, when it
// already exists among the inputs).
struct FileIdentity {
    dev_t device;
    ino_t inode;
};

// The members for `paths`, sorted by name. A file becomes a member named
// after it; a folder becomes a directory member with everything below it,
// named from the folder's own name down, unless its path ends in "/":
// then its contents are members at the top. Throws std::runtime_error
// naming the path when one cannot be read or its name cannot be a Windows
// file name.
std::vector<ZipMemberSource> CollectMembers(const std::vector<std::string>& paths,
                                            const std::vector<FileIdentity>& excluded);

// Sets member.headerName and member.utf8Header for member.utf8Name, after
// the checks Windows would make of it: characters it does not allow, and
// lengths in UTF-16 units (its characters) beyond the stub's. Conjoining
// Hangul jamo (as macOS writes Korean names) are composed first, as the
// stub composes them, so that the header holds the name the stub will
// list. Throws std::runtime_error naming `where` the name comes from.
void NameMember(ZipMemberSource& member, const std::string& where);

// Refuses a list of named members in which two have the same name, or
// the stub would refuse some names.
void CheckMemberList(const std::vector<ZipMemberSource>& members);

// A modification time as a DOS date (high half) and time (low half), in
// local time, odd seconds rounded up, clamped to 1980..2107.
uint32_t DosDateTime(time_t modified);
