// The member list natively: the order a listing leaves, and the look-up
// from the last index that an extraction pass makes for every member, both
// against plain reference versions (insertion in place, a search over
// every item) on randomized names with letter-case duplicates.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "archive/member_list.h"
#include "platform/posix/native_dialog.h"
#include "startup/sfx_globals.h"

namespace {

// Code page 949 folds only single ASCII letters; a lead byte (0x81 and up)
// makes the next byte a trail byte, never folded.
int ReferenceCompare(const std::string& a, const std::string& b) {
    bool trail = false;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        unsigned char x = a[i], y = b[i];
        if (!trail) {
            x = (x >= 'A' && x <= 'Z') ? x + 32 : x;
            y = (y >= 'A' && y <= 'Z') ? y + 32 : y;
        }
        if (x != y) return x < y ? -1 : 1;
        trail = !trail && x >= 0x81;
    }
    return a.size() == b.size() ? 0 : a.size() < b.size() ? -1 : 1;
}

// What a sorted list box holds after adding `names` one by one: each new
// name after the names that sort equal to it.
std::vector<std::string> ReferenceListing(const std::vector<std::string>& names) {
    std::vector<std::string> list;
    for (const std::string& name : names) {
        auto place = std::upper_bound(list.begin(), list.end(), name, [](const std::string& n, const std::string& item) {
            return ReferenceCompare(n, item) < 0;
        });
        list.insert(place, name);
    }
    return list;
}

// LB_FINDSTRINGEXACT: every item from the one after `after`, wrapping round.
int32_t ReferenceFind(const std::vector<std::string>& list, int32_t after, const std::string& name) {
    int32_t count = (int32_t)list.size();
    int32_t start = after < 0 || after >= count ? 0 : after + 1;
    for (int32_t step = 0; step < count; ++step) {
        int32_t index = (start + step) % count;
        if (ReferenceCompare(list[index], name) == 0) return index;
    }
    return -1;
}

// Names from a small alphabet, so that many differ only in letter case or
// share long prefixes; some carry double-byte characters whose trail byte
// is an ASCII letter (folding it would make different names equal).
std::vector<std::string> RandomNames(std::mt19937& random, size_t count) {
    static const char* pieces[] = {"a", "A", "b", "B", "dir/", "DIR/", "x.txt", "X.TXT", "\xB0\x41", "\xB0\x61", "_"};
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

TEST(MemberList, ListingLeavesTheOrderOfInsertionInPlace) {
    std::mt19937 random(5);
    for (int trial = 0; trial < 50; ++trial) {
        std::vector<std::string> names = RandomNames(random, 1 + random() % 200);
        if (trial % 5 == 0) std::sort(names.begin(), names.end());  // mostly in order already
        NativeMemberList list;
        ClearMemberList(&list);
        for (const std::string& name : names) AddMemberName(&list, name.c_str());
        EndMemberListing(&list);
        ASSERT_EQ(ItemNames(list), ReferenceListing(names)) << "trial " << trial;
    }
}

// Any operation of the list, not only the end of the listing, sees it sorted.
TEST(MemberList, OperationsBeforeTheListingEndsSeeTheSortedList) {
    std::mt19937 random(6);
    std::vector<std::string> names = RandomNames(random, 60);
    NativeMemberList list;
    for (const std::string& name : names) AddMemberName(&list, name.c_str());
    std::vector<std::string> expected = ReferenceListing(names);
    EXPECT_EQ(FindMemberName(&list, -1, names.back().c_str()), ReferenceFind(expected, -1, names.back()));
    EXPECT_EQ(ItemNames(list), expected);
    ClearMemberList(&list);
    AddMemberName(&list, "b");
    AddMemberName(&list, "a");
    EXPECT_EQ(CountMembers(&list), 2);
    EXPECT_EQ(ItemNames(list), (std::vector<std::string>{"a", "b"}));
}

// Every start index, every name of the list and names that are not in it.
TEST(MemberList, FastLookUpGivesThePlainSearchsIndex) {
    std::mt19937 random(8);
    for (int trial = 0; trial < 40; ++trial) {
        std::vector<std::string> names = RandomNames(random, random() % 120);
        NativeMemberList list;
        for (const std::string& name : names) AddMemberName(&list, name.c_str());
        EndMemberListing(&list);
        std::vector<std::string> items = ReferenceListing(names);
        std::vector<std::string> probes = RandomNames(random, 30);
        probes.insert(probes.end(), names.begin(), names.end());
        int32_t count = (int32_t)items.size();
        for (const std::string& probe : probes)
            for (int32_t after = -1; after <= count; ++after)
                ASSERT_EQ(FindMemberNameFast(&list, after, probe.c_str()), ReferenceFind(items, after, probe))
                    << "trial " << trial << ", after " << after << ", name " << probe;
    }
}

// A whole pass: members in archive order, each looked up from where the
// last one was found, meet the items the plain search meets, so that
// members equal apart from letter case take successive items.
TEST(MemberList, PassMeetsTheItemsOfThePlainSearch) {
    std::mt19937 random(9);
    for (int trial = 0; trial < 30; ++trial) {
        std::vector<std::string> archive = RandomNames(random, 1 + random() % 300);
        NativeMemberList list;
        for (const std::string& name : archive) AddMemberName(&list, name.c_str());
        EndMemberListing(&list);
        for (size_t i = 0; i < list.items.size(); ++i) list.items[i].selected = random() % 3 != 0;
        std::vector<std::string> items = ReferenceListing(archive);

        Sfx.LastListIndex = -1;
        int32_t expected = -1;
        for (const std::string& name : archive) {
            bool selected = IsNameSelected(&list, name.c_str());
            expected = ReferenceFind(items, expected, name);
            ASSERT_EQ(Sfx.LastListIndex, expected) << "trial " << trial << ", name " << name;
            EXPECT_EQ(selected, expected >= 0 && list.items[expected].selected);
        }
    }
}
