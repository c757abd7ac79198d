#pragma once
// The table of member names, tests/data/member_names.tsv: a header's name
// bytes, flags and Unicode Path field, and what the member becomes under
// each ANSI code page. The decoding tests and the extraction tests read it;
// its comments describe the columns.
#include <cstdint>
#include <string>
#include <vector>

struct NameRow {
    int line;             // in the table, for messages
    uint16_t flags;
    std::string name;     // the header's name bytes
    std::string extra;    // the header's extra field: nothing, or a Unicode Path field
    std::string outcome;  // "=" and the path written, or "!" and the text shown
};

struct NameArchive {
    std::string label;
    std::vector<uint32_t> codePages;
    std::vector<NameRow> members;
};

// Every archive of the table, in order. A malformed line fails the test
// that reads it. Needs Sfx.CrcTable (for the fields).
std::vector<NameArchive> ReadNameTable();
