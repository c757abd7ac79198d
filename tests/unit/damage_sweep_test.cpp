// Damaged combined files: an archive with stored, deflated, encrypted,
// directory and nested members, cut at every offset and hit by single bit
// flips at thousands of positions. Whatever the damage, the pass ends, it
// writes nothing outside the target directory, and a member it counts as
// done (its item deselected) has exactly its original content.
#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>

#include "archive/extraction_pass.h"
#include "crc_table.h"
#include "deflate_streams.h"
#include "scripted_frontend.h"
#include "test_files.h"
#include "ui/control_ids.h"
#include "ui/native/native_dialog.h"
#include "zip_builder.h"

static const char kPassword[] = "sweep";

// The originals by member name; a name ending in "/" is a directory.
static std::map<std::string, std::string> Originals() {
    return {{"alpha.txt", TextLike(700, 1)},      {"beta.bin", BinaryLike(5000, 2)},
            {"secret.txt", TextLike(300, 3)},     {"packed-secret.txt", TextLike(2000, 4)},
            {"dir/", ""},                         {"dir/gamma.txt", TextLike(90, 5)}};
}

static MemberSpec Member(const std::string& name, const std::string& data, bool deflate, bool encrypt) {
    MemberSpec member;
    member.name = name;
    member.data = data;
    if (deflate) {
        member.method = 8;
        member.stored = ZlibDeflate(data, 9, Z_DEFAULT_STRATEGY);
    }
    if (encrypt) member.password = kPassword;
    return member;
}

class DamageSweep : public WithCrcTable {
protected:
    TempDir temp;
    std::string archive;
    std::map<std::string, std::string> originals = Originals();

    uint32_t* table = nullptr;  // kept across the resets of the shared state

    void SetUp() override {
        WithCrcTable::SetUp();
        table = Sfx.CrcTable;
        archive = LocalMember(Member("alpha.txt", originals["alpha.txt"], false, false)) +
                  LocalMember(Member("beta.bin", originals["beta.bin"], true, false)) +
                  LocalMember(Member("secret.txt", originals["secret.txt"], false, true)) +
                  LocalMember(Member("packed-secret.txt", originals["packed-secret.txt"], true, true)) +
                  LocalMember(Member("dir/", "", false, false)) +
                  LocalMember(Member("dir/gamma.txt", originals["dir/gamma.txt"], false, false)) + ArchiveEnd();
    }

    // Lists and extracts `damaged` (the archive alone: the base is 0) into a
    // fresh target, answering every password prompt with the right one.
    void Check(const std::string& damaged, const std::string& what) {
        std::string work = temp / "case";
        std::string target = work + "/target";
        RemoveTree(work);
        mkdir(work.c_str(), 0755);
        mkdir(target.c_str(), 0755);
        WriteWholeFile(work + "/damaged.zip", damaged);

        ResetSfxGlobals();
        Sfx.CrcTable = table;
        Sfx.ArchiveBase = 0;
        Sfx.OverwriteMode = kOverwrite;
        Sfx.ArchiveHandle = OpenFileForReading(CoreForm(work + "/damaged.zip").c_str());
        ASSERT_NE(Sfx.ArchiveHandle, kInvalidFile);
        ResetFrontend();
        Frontend().passwords.assign(64, kPassword);
        std::string dir = CoreForm(target);
        std::memcpy(Sfx.ExtractDir, dir.c_str(), dir.size() + 1);

        NativeDialog dialog;
        ExtractionPass(&dialog, IDC_MEMBER_LIST, true);
        for (NativeMemberItem& item : dialog.memberList.items) item.selected = true;
        ExtractionPass(&dialog, IDC_MEMBER_LIST, false);
        CloseFile(Sfx.ArchiveHandle);
        Sfx.ArchiveHandle = kInvalidFile;

        EXPECT_EQ(Entries(work), (std::vector<std::string>{"damaged.zip", "target"})) << what;
        for (const NativeMemberItem& item : dialog.memberList.items) {
            if (item.selected) continue;
            auto original = originals.find(item.name);
            if (original == originals.end()) continue;  // a name the damage made: another member now
            std::string path = target + "/" + item.name;
            struct stat status;
            ASSERT_EQ(stat(path.c_str(), &status), 0) << what << ": done but missing: " << item.name;
            if (item.name.back() == '/') EXPECT_TRUE(S_ISDIR(status.st_mode)) << what << ": " << item.name;
            else EXPECT_EQ(ReadWholeFile(path), original->second) << what << ": done but different: " << item.name;
        }
    }

    static std::vector<std::string> Entries(const std::string& directory) {
        std::vector<std::string> names;
        DIR* dir = opendir(directory.c_str());
        while (dirent* entry = dir ? readdir(dir) : nullptr)
            if (std::strcmp(entry->d_name, ".") && std::strcmp(entry->d_name, "..")) names.push_back(entry->d_name);
        if (dir) closedir(dir);
        std::sort(names.begin(), names.end());
        return names;
    }

    void TearDown() override {
        Sfx.CrcTable = table;
        WithCrcTable::TearDown();
    }

    static void RemoveTree(const std::string& root) {
        nftw(root.c_str(), [](const char* path, const struct stat*, int, FTW*) { return remove(path); }, 16,
             FTW_DEPTH | FTW_PHYS);
    }
};

TEST_F(DamageSweep, TheWholeArchiveExtractsCleanly) {
    Check(archive, "undamaged");
    for (const auto& [name, data] : originals) {
        if (name.back() == '/') continue;
        EXPECT_EQ(ReadWholeFile(temp / "case/target/" + name), data) << name;
    }
}

TEST_F(DamageSweep, CutAtEveryOffset) {
    RecordProperty("cuts", (int)archive.size());
    for (size_t cut = 0; cut < archive.size(); ++cut) {
        Check(archive.substr(0, cut), "cut at " + std::to_string(cut));
        if (HasFatalFailure()) return;
    }
}

TEST_F(DamageSweep, SingleBitFlipsAtDeterministicPositions) {
    RecordProperty("flips", 3000);
    uint32_t state = 2024;
    for (int flip = 0; flip < 3000; ++flip) {
        state = state * 1664525u + 1013904223u;
        size_t position = (state >> 8) % archive.size();
        int bit = (int)(state >> 4) & 7;
        std::string damaged = archive;
        damaged[position] = (char)(damaged[position] ^ (1 << bit));
        Check(damaged, "bit " + std::to_string(bit) + " of byte " + std::to_string(position));
        if (HasFatalFailure()) return;
    }
}
