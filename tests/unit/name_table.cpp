#include "name_table.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <set>
#include <sstream>

#include "zip_builder.h"

static std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, separator);) parts.push_back(part);
    return parts;
}

// Hexadecimal digits in pairs; false for anything else.
static bool FromHex(const std::string& hex, std::string& bytes) {
    bytes.clear();
    if (hex.size() % 2 != 0 || hex.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) return false;
    for (size_t at = 0; at < hex.size(); at += 2) bytes += (char)std::strtoul(hex.substr(at, 2).c_str(), nullptr, 16);
    return true;
}

std::vector<NameArchive> ReadNameTable() {
    std::ifstream in(DOROMI_MEMBER_NAMES);
    EXPECT_TRUE(in.good()) << "cannot read " << DOROMI_MEMBER_NAMES;
    std::vector<NameArchive> archives;
    std::set<std::string> labels;
    std::string text;
    for (int line = 1; std::getline(in, text); ++line) {
        if (text.empty() || text[0] == '#') continue;
        std::vector<std::string> columns = Split(text, '\t');
        NameRow row{line, 0, "", "", columns.size() == 6 ? columns[5] : ""};
        std::string field = columns.size() == 6 ? columns[4] : "-", fieldName;
        bool stale = field[0] == '~';
        std::vector<uint32_t> codePages;
        for (const std::string& codePage : Split(columns.size() == 6 ? columns[1] : "", ','))
            codePages.push_back(std::atoi(codePage.c_str()));
        bool knownCodePages = !codePages.empty();
        for (uint32_t codePage : codePages) knownCodePages &= codePage == 949 || codePage == 1252 || codePage == 932;
        bool wellFormed = knownCodePages && FromHex(columns[3], row.name) &&
                          (field == "-" || FromHex(field.substr(stale), fieldName)) && !row.outcome.empty() &&
                          (row.outcome[0] == '=' || row.outcome[0] == '!') &&
                          (columns[2] == "0" || columns[2] == "800");
        if (!wellFormed) {
            ADD_FAILURE() << "line " << line << " of the name table is malformed";
            continue;
        }
        row.flags = (uint16_t)std::strtoul(columns[2].c_str(), nullptr, 16);
        if (field != "-") row.extra = UnicodePathField(fieldName, Crc32Of(row.name) ^ (stale ? 0xFFFFFFFFu : 0));
        if (archives.empty() || archives.back().label != columns[0]) {
            EXPECT_TRUE(labels.insert(columns[0]).second) << "line " << line << ": label used before";
            archives.push_back({columns[0], codePages, {}});
        }
        EXPECT_EQ(archives.back().codePages, codePages) << "line " << line << ": code pages differ within an archive";
        archives.back().members.push_back(row);
    }
    return archives;
}
