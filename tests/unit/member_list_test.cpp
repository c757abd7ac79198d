// The member list natively: the order a listing leaves, against a plain
// reference (insertion in place), and the look-up of each member's own item
// by its ordinal, on randomized names with letter-case twins and exact
// duplicates.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "archive/member_list.h"
#include "startup/sfx_globals.h"
#include "ui/native/native_dialog.h"

namespace {

// The names are UTF-8, compared character by character with only the ASCII
// letters folded: "é" and "É" stay different names.
std::vector<uint32_t> FoldedCharacters(const std::string& name) {
    std::vector<uint32_t> characters;
    for (size_t i = 0; i < name.size();) {
        unsigned char lead = name[i];
        size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        uint32_t value = length == 1 ? lead : lead & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) value = value << 6 | (name[i + k] & 0x3F);
        characters.push_back(value >= 'A' && value <= 'Z' ? value + 32 : value);
        i += length;
    }
    return characters;
}

int ReferenceCompare(const std::string& a, const std::string& b) {
    std::vector<uint32_t> x = FoldedCharacters(a), y = FoldedCharacters(b);
    return x < y ? -1 : y < x ? 1 : 0;
}

// What a sorted list box holds after adding `names` one by one: each new
// name after the names that sort equal to it.
std::vector<std::string> ReferenceListing(const std::vector<std::string>& names) {
    std::vector<std::string> list;
    for (const std::string& name : names) {
        auto place = std::upper_bound(list.begin(), list.end(), name,
                                      [](const std::string& n, const std::string& item) {
            return ReferenceCompare(n, item) < 0;
        });
        list.insert(place, name);
    }
    return list;
}

// Names from a small alphabet, so that many differ only in letter case or
// share long prefixes; some carry letters outside ASCII in both cases,
// which are not folded.
std::vector<std::string> RandomNames(std::mt19937& random, size_t count) {
    static const char* pieces[] = {"a",     "A",     "b",        "B",        "dir/",         "DIR/",
                                   "x.txt", "X.TXT", "\xC3\xA9", "\xC3\x89", "\xEA\xB0\x80", "_"};
    std::vector<std::string> names;
    for (size_t i = 0; i < count; ++i) {
        std::string name;
        size_t parts = 1 + random() % 4;
        for (size_t p = 0; p < parts; ++p) name += pieces[random() % (sizeof pieces / sizeof *pieces)];
        names.push_back(name);
    }
    return names;
}

std::vector<std::string> ItemNames(const NativeMemberList& list) {
    std::vector<std::string> names;
    for (const NativeMemberItem& item : list.items) names.push_back(item.name);
    return names;
}

}  // namespace

void AddAll(NativeMemberList& list, const std::vector<std::string>& names) {
    for (uint32_t ordinal = 0; ordinal < names.size(); ++ordinal) AddMemberName(&list, names[ordinal].c_str(), ordinal);
}

TEST(MemberList, ListingLeavesTheOrderOfInsertionInPlace) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 50; ++trial) {
        std::vector<std::string> names = RandomNames(random, 1 + random() % 200);
        if (trial % 5 == 0) std::sort(names.begin(), names.end());  // mostly in order already
        NativeMemberList list;
        ClearMemberList(&list);
        AddAll(list, names);
        EndMemberListing(&list);
        ASSERT_EQ(ItemNames(list), ReferenceListing(names)) << "trial " << trial;
    }
}

// Any operation of the list, not only the end of the listing, sees it sorted.
TEST(MemberList, OperationsBeforeTheListingEndsSeeTheSortedList) {
    NativeMemberList list;
    AddAll(list, {"b", "a", "B"});
    EXPECT_EQ(MemberItemData(&list, 0), 1u);
    EXPECT_EQ(ItemNames(list), (std::vector<std::string>{"a", "b", "B"}));
    EXPECT_EQ(CountMembers(&list), 3);
}

// A whole pass: every member, in archive order, finds the item that was
// added for it, whatever other items share its name or differ from it only
// in letter case; selections are read from that item.
TEST(MemberList, EachMemberFindsItsOwnItem) {
    std::mt19937 random(9);
    for (int trial = 0; trial < 30; ++trial) {
        std::vector<std::string> archive = RandomNames(random, 1 + random() % 300);
        NativeMemberList list;
        AddAll(list, archive);
        EndMemberListing(&list);
        for (NativeMemberItem& item : list.items) item.selected = random() % 3 != 0;
        MemberItems items = {};
        ASSERT_TRUE(MapMemberItems(&list, items));
        std::vector<bool> met(list.items.size());
        for (uint32_t ordinal = 0; ordinal < archive.size(); ++ordinal) {
            bool selected = IsMemberOrdinalSelected(&list, items, ordinal);
            int32_t index = Sfx.LastListIndex;
            ASSERT_GE(index, 0);
            EXPECT_EQ(list.items[index].ordinal, ordinal);
            EXPECT_EQ(list.items[index].name, archive[ordinal]);
            EXPECT_EQ(selected, list.items[index].selected);
            EXPECT_FALSE(met[index]) << "two members met item " << index;
            met[index] = true;
        }
        EXPECT_FALSE(IsMemberOrdinalSelected(&list, items, (uint32_t)archive.size()));
        EXPECT_EQ(Sfx.LastListIndex, -1);
        ReleaseMemberItems(items);
    }
}
