#pragma once
// Member names that Windows, which compares names without regard to letter
// case, holds as one: two files, two folders, or a file and a folder, where
// a folder may be a member of its own or only a part of another member's
// path ("Docs" of "Docs/a.txt").
#include <cstddef>
#include <string>
#include <vector>

struct CaseTwin {
    size_t member;        // the later member, which brings the twin
    std::string name;     // its own name, or the folder on its path that meets the earlier name
    std::string earlier;  // the earlier name it meets: a member's, or a folder on an earlier member's path
    bool nameIsFolder, earlierIsFolder;
};

// The case twins among `utf8Names` (in archive order, "/" or "\" between
// parts, a folder's name ending in one), in the order the later members
// bring them; each pair of spellings once.
std::vector<CaseTwin> FindCaseTwins(const std::vector<std::string>& utf8Names);

// What Windows makes of a twin, for messages: "one file on Windows: ...".
std::string CaseTwinConsequence(const CaseTwin& twin);

// A warning naming the twins among `utf8Names`, or empty when there are none.
std::string CaseTwinWarning(const std::vector<std::string>& utf8Names);
