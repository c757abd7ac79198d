// The member walk and the extraction of selected members, natively: real
// files below a temporary target directory, the in-memory member list,
// and a scripted front end that records every box and question in order.
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "archive/extraction_pass.h"
#include "crc_table.h"
#include "decode/zip_cipher.h"
#include "deflate_streams.h"
#include "failing_close.h"
#include "name_table.h"
#include "platform/posix/native_names.h"
#include "scripted_frontend.h"
#include "test_files.h"
#include "ui/control_ids.h"
#include "ui/native/native_dialog.h"
#include "ui/texts.h"
#include "zip_builder.h"

namespace fs = std::filesystem;
using Event = FrontendEvent;

static Event Error(const std::string& text, const std::string& caption) { return {Event::kError, text, caption}; }
static const Event kAllExtracted{Event::kNotice, TEXT_ALL_EXTRACTED, TEXT_FINISHED_CAPTION};
static const Event kSomeNotExtracted{Event::kError, TEXT_SOME_NOT_EXTRACTED, TEXT_ERROR_CAPTION};
static const Event kPasswordPrompt{Event::kPasswordPrompt, "", ""};
// Expected texts spell a path below the target with this in place of the
// target's own.
static const std::string kTarget = "<target>\\";

static MemberSpec Stored(const std::string& name, const std::string& data) {
    MemberSpec member;
    member.name = name;
    member.data = data;
    return member;
}

static std::string Members(const std::vector<MemberSpec>& members) {
    std::string bytes;
    for (const MemberSpec& member : members) bytes += LocalMember(member);
    return bytes;
}

class Extraction : public WithCrcTable {
protected:
    TempDir temp;
    NativeDialog dialog;
    std::string target;

    void SetUp() override {
        WithCrcTable::SetUp();
        ResetFrontend();
        Sfx.OverwriteMode = kAsk;
        target = temp / "out";
        mkdir(target.c_str(), 0755);
    }
    void TearDown() override {
        CloseArchive();
        SetAnsiCodePage(kKoreanCodePage);
        WithCrcTable::TearDown();
    }

    // The stub stand-in, then the members and the archive's end.
    void Archive(const std::vector<MemberSpec>& members, const std::string& tail = ArchiveEnd()) {
        OpenRaw(Members(members) + tail);
    }
    void OpenRaw(const std::string& archive) {
        WriteWholeFile(temp / "combined.exe", StubImage() + archive);
        CloseArchive();
        Sfx.ArchiveHandle = OpenFileForReading(CoreForm(temp / "combined.exe").c_str());
        ASSERT_NE(Sfx.ArchiveHandle, kInvalidFile);
    }

    // What the main dialog does: list everything, select everything.
    std::vector<std::string> List() {
        ExtractionPass(&dialog, IDC_MEMBER_LIST, true);
        SetMemberSelectedAll();
        std::vector<std::string> names;
        for (const NativeMemberItem& item : dialog.memberList.items) names.push_back(item.name);
        return names;
    }
    void SetMemberSelectedAll() {
        for (NativeMemberItem& item : dialog.memberList.items) item.selected = true;
    }
    void Extract() {
        std::string dir = CoreForm(target);
        std::memcpy(Sfx.ExtractDir, dir.c_str(), dir.size() + 1);
        ExtractionPass(&dialog, IDC_MEMBER_LIST, false);
    }
    std::vector<std::string> Selected() {
        std::vector<std::string> names;
        for (const NativeMemberItem& item : dialog.memberList.items)
            if (item.selected) names.push_back(item.name);
        return names;
    }
    std::vector<Event>& Events() { return Frontend().events; }
    std::string Out(const std::string& name) { return ReadWholeFile(target + "/" + name); }
    bool Exists(const std::string& name) {
        struct stat status;
        return stat((target + "/" + name).c_str(), &status) == 0;
    }

    // Relative path to content, a directory as "name/" holding "".
    using Files = std::map<std::string, std::string>;
    // An empty record and a target holding only `files`.
    void Fresh(const Files& files = {}) {
        ResetFrontend();
        fs::remove_all(target);
        fs::create_directories(target);
        for (const auto& [name, content] : files) {
            fs::create_directories(fs::path(target + "/" + name).parent_path());
            if (name.back() != '/') WriteWholeFile(target + "/" + name, content);
        }
    }
    Files Tree() {
        Files files;
        for (const auto& entry : fs::recursive_directory_iterator(target)) {
            std::string name = fs::relative(entry.path(), target).string();
            files[entry.is_directory() ? name + "/" : name] = entry.is_directory() ? "" : ReadWholeFile(entry.path());
        }
        return files;
    }
    std::vector<Event> BelowTarget(std::vector<Event> events) {
        for (Event& event : events)
            if (event.text.compare(0, kTarget.size(), kTarget) == 0)
                event.text = CoreForm(target) + "\\" + event.text.substr(kTarget.size());
        return events;
    }
};

// --- The walk ------------------------------------------------------------

// What listing finds where the walk meets odd records or ends early, and
// what extracting everything listed then says: a walk that ends with a
// message says it again.
TEST_F(Extraction, WalkListsWhatItReachesAndStopsWhereItMust) {
    MemberSpec unsignedDescriptor = Stored("first.txt", "1");
    unsignedDescriptor.unsignedDescriptor = true;
    MemberSpec streamed = Stored("streamed.txt", "data that hides its size"), emptyStreamed = Stored("empty.txt", "");
    for (MemberSpec* member : {&streamed, &emptyStreamed}) member->hideSizes = true, member->descriptors = 1;
    // A compressed size that, cut to 32 bits, points the next header back at
    // the first one: the member would end beyond 4 GiB, so the walk ends
    // before it, neither listing it nor going round for ever.
    std::string before = LocalMember(Stored("before.txt", "b"));
    std::string loop = LocalMember(Stored("loop.txt", "data"));
    uint32_t wrap = (uint32_t)(0x100000000ull - before.size() - (30 + 8));
    for (int i = 0; i < 4; ++i) loop[18 + i] = (char)(wrap >> (8 * i));
    const struct {
        const char* label;
        std::string archive;
        std::vector<std::string> listed;
        std::vector<Event> listing, extraction;
    } cases[] = {
        {"ListsNamesAsStoredInSortedOrder",
         Members({Stored("b.txt", "b"), Stored("docs/", ""), Stored("A/c.txt", "c")}) + ArchiveEnd(),
         {"A/c.txt", "b.txt", "docs/"},
         {},
         {kAllExtracted}},
        {"DescriptorWithoutSignatureEndsTheWalkAfterItsMember",
         Members({unsignedDescriptor, Stored("second.txt", "2")}) + ArchiveEnd(),
         {"first.txt"},
         {},
         {kAllExtracted}},
        {"NoMemberAtAllIsReportedOnlyWhenListing",
         ArchiveEnd(),
         {},
         {Error(TEXT_ARCHIVE_OPEN_FAILED, TEXT_ERROR_CAPTION)},
         {}},
        {"EmptyNameStopsTheListingAndKeepsTheNamesBefore",
         Members({Stored("before.txt", "x"), Stored(std::string("\0hidden", 7), "y"), Stored("after.txt", "z")}) +
             ArchiveEnd(),
         {"before.txt"},
         {Error(TEXT_BAD_MEMBER_NAME, TEXT_ERROR_CAPTION)},
         {Error(TEXT_BAD_MEMBER_NAME, TEXT_ERROR_CAPTION)}},
        // 책 in code page 949 is valid UTF-8 too ("å"); a UTF-8 name the
        // listing never reaches must not decide how it is read.
        {"NamesBeyondAnEmptyNameDecideNothing",
         Members({Stored("\xC3\xA5.txt", "x"), Stored(std::string("\0hidden", 7), "y"),
                  Stored("\xEC\x83\x88.txt", "z")}) +
             ArchiveEnd(),
         {"\xEC\xB1\x85.txt"},
         {Error(TEXT_BAD_MEMBER_NAME, TEXT_ERROR_CAPTION)},
         {Error(TEXT_BAD_MEMBER_NAME, TEXT_ERROR_CAPTION)}},
        {"MemberEndingBeyondFourGiBEndsTheWalkBeforeIt",
         before + loop + LocalMember(Stored("after.txt", "x")) + ArchiveEnd(),
         {"before.txt"},
         {},
         {kAllExtracted}},
        {"TruncatedHeaderIsNoMember",
         LocalMember(Stored("whole.txt", "data")) + LocalMember(Stored("cut.txt", "data")).substr(0, 20),
         {"whole.txt"},
         {},
         {kAllExtracted}},
        {"SizesLeftToADescriptorEndTheWalkWithAMessage",
         Members({emptyStreamed, streamed, Stored("later.txt", "never reached")}) + ArchiveEnd(),
         {"empty.txt"},
         {Error("streamed.txt", TEXT_SIZE_NOT_RECORDED)},
         {Error("streamed.txt", TEXT_SIZE_NOT_RECORDED)}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        Fresh();
        OpenRaw(c.archive);
        EXPECT_EQ(List(), c.listed);
        EXPECT_EQ(Events(), c.listing);
        ResetFrontend();
        Extract();
        EXPECT_EQ(Events(), c.extraction);
        EXPECT_EQ(Sfx.AllExtracted, c.extraction == std::vector<Event>{kAllExtracted});
    }
}

TEST_F(Extraction, StepsOverDescriptorsExtraFieldsAndTheAlternateSignature) {
    MemberSpec twoDescriptors = Stored("one.txt", "first");
    twoDescriptors.descriptors = 2;
    MemberSpec extra = Stored("two.txt", "second");
    extra.extra = std::string(20, 'x');
    MemberSpec alternate = Stored("three.txt", "third");
    alternate.signature = 0x50000000;
    Archive({twoDescriptors, extra, alternate});
    EXPECT_EQ(List(), (std::vector<std::string>{"one.txt", "three.txt", "two.txt"}));
    Extract();
    EXPECT_EQ(Out("one.txt"), "first");
    EXPECT_EQ(Out("two.txt"), "second");
    EXPECT_EQ(Out("three.txt"), "third");
    EXPECT_EQ(Events(), (std::vector<Event>{kAllExtracted}));
    EXPECT_TRUE(Sfx.AllExtracted);
}

// --- Files, directories and their times -----------------------------------

TEST_F(Extraction, WritesNestedPathsDirectoriesAndBigStoredMembers) {
    std::string big(32769, '\0');
    for (size_t i = 0; i < big.size(); ++i) big[i] = (char)(i * 31 + i / 7);
    Archive({Stored("a/b/c.txt", "deep"), Stored("docs/", ""), Stored("big.bin", big), Stored("empty.txt", "")});
    List();
    Extract();
    EXPECT_EQ(
        Tree(),
        (Files{{"a/", ""}, {"a/b/", ""}, {"a/b/c.txt", "deep"}, {"docs/", ""}, {"big.bin", big}, {"empty.txt", ""}}));
    EXPECT_TRUE(Selected().empty());
    EXPECT_EQ(Events(), (std::vector<Event>{kAllExtracted}));
    EXPECT_EQ(Frontend().pumped, 3);  // one per file written, none for the directory
}

TEST_F(Extraction, GivesEachFileItsMemberTimeAsLocalTime) {
    Archive({Stored("dated.txt", "x")});
    List();
    Extract();
    struct stat status;
    ASSERT_EQ(stat((target + "/dated.txt").c_str(), &status), 0);
    struct tm local;
    localtime_r(&status.st_mtime, &local);
    EXPECT_EQ(local.tm_year + 1900, 2000);
    EXPECT_EQ(local.tm_mon + 1, 5);
    EXPECT_EQ(local.tm_mday, 17);
    EXPECT_EQ(local.tm_hour, 15);
    EXPECT_EQ(local.tm_min, 42);
    EXPECT_EQ(local.tm_sec, 12);
}

TEST_F(Extraction, TrailingBackslashOfTheTargetIsDropped) {
    Archive({Stored("x.txt", "x")});
    List();
    std::string dir = CoreForm(target) + "\\";
    std::memcpy(Sfx.ExtractDir, dir.c_str(), dir.size() + 1);
    ExtractionPass(&dialog, IDC_MEMBER_LIST, false);
    EXPECT_EQ(Out("x.txt"), "x");
    EXPECT_EQ(std::string(Sfx.ExtractDir), CoreForm(target));
}

TEST_F(Extraction, NamesDifferingOnlyInCaseMeetSuccessiveItems) {
    Archive({Stored("Read.me", "upper"), Stored("read.me", "lower")});
    EXPECT_EQ(List().size(), 2u);
    dialog.memberList.items[1].selected = false;  // keep one of the two
    Extract();
    EXPECT_EQ(Out("Read.me"), "upper");
    EXPECT_FALSE(Exists("read.me"));
}

TEST_F(Extraction, UnselectedMembersAreLeftAloneAndNothingIsSaid) {
    Archive({Stored("a.txt", "a"), Stored("b.txt", "b")});
    List();
    for (NativeMemberItem& item : dialog.memberList.items) item.selected = false;
    Extract();
    EXPECT_FALSE(Exists("a.txt"));
    EXPECT_TRUE(Events().empty());
    EXPECT_FALSE(Sfx.AllExtracted);
}

// --- Failures that leave a member selected ------------------------------

// A member that fails a check leaves no file under its name, and one that
// was to replace a file leaves that file as it was: the next pass, even
// one that skips existing files, finds nothing in its way and tries it
// again alone.
TEST_F(Extraction, FailedMemberLeavesNoFileAndASecondPassRetriesItAlone) {
    MemberSpec bad = Stored("bad.txt", "payload"), damagedCopy = Stored("old.txt", "broken");
    bad.wrongCrc = damagedCopy.wrongCrc = true;
    Archive({Stored("good.txt", "fine"), bad, damagedCopy});
    WriteWholeFile(target + "/old.txt", "precious");
    Sfx.OverwriteMode = kOverwrite;
    List();
    Extract();
    EXPECT_EQ(Tree(), (Files{{"good.txt", "fine"}, {"old.txt", "precious"}}));  // no temporary file left
    EXPECT_EQ(Selected(), (std::vector<std::string>{"bad.txt", "old.txt"}));
    EXPECT_EQ(Events(), (std::vector<Event>{kSomeNotExtracted}));
    EXPECT_FALSE(Sfx.AllExtracted);

    ResetFrontend();
    unlink((target + "/good.txt").c_str());
    Sfx.OverwriteMode = kSkip;
    Extract();
    EXPECT_FALSE(Exists("good.txt"));  // done before, not written again
    EXPECT_FALSE(Exists("bad.txt"));
    EXPECT_EQ(Events(), (std::vector<Event>{kSomeNotExtracted}));
}

// A member that replaces a file passes through a temporary file beside it,
// which then takes the old file's name.
TEST_F(Extraction, ReplacedFileGetsItsSuccessorWhole) {
    Archive({Stored("old.txt", "new content")});
    WriteWholeFile(target + "/old.txt", "old");
    Sfx.OverwriteMode = kOverwrite;
    List();
    Extract();
    EXPECT_EQ(Out("old.txt"), "new content");
    EXPECT_EQ(Tree(), (Files{{"old.txt", "new content"}}));
    EXPECT_EQ(Events(), (std::vector<Event>{kAllExtracted}));
}

// One pass over everything listed, with files already in the target: what
// the target then holds, what stays selected and what was said, under each
// overwrite policy the case names.
using Files = std::map<std::string, std::string>;  // path below the target: contents

struct FailedMembersCase {
    const char* label;
    std::vector<MemberSpec> members;
    Files before;
    std::vector<uint8_t> policies;
    Files after;
    std::vector<std::string> selected;
    std::vector<Event> events;
};

// Names the case in test listings rather than dumping its members.
static void PrintTo(const FailedMembersCase& c, std::ostream* out) { *out << c.label; }

static std::vector<FailedMembersCase> FailedMembersCases() {
    MemberSpec shrunk = Stored("keep.txt", "plain");
    shrunk.method = 12;
    shrunk.stored = "BZh9 not really";
    std::string tooLong(256, 'n');  // longer than a file name may be here
    std::string longDir(256, 'd');  // longer than a folder name may be
    // Shown cut to 1,023 characters, and marked.
    std::string overlong = std::string(1100, 'L') + ".txt", cut = overlong.substr(0, 1023) + "…";
    // UTF-8 names reach the disk under their own names, also with characters
    // no ANSI code page holds; bytes that are neither UTF-8 nor code page 949
    // are refused without ending the pass.
    MemberSpec korean = Stored(u8"한글 폴더/문서.txt", "document"), won = Stored(u8"가격₩.txt", "price"),
               unreadable = Stored("\xB0\xA1\xC7.txt", "never");
    korean.utf8Name = won.utf8Name = unreadable.utf8Name = true;
    std::string shown = "???.txt";
    const std::string blocker = "a file where a directory should be";
    // The header's uncompressed size bounds the output: a member whose data
    // is larger (with a CRC that matches the data) fails, and so does one
    // that ends short; both stay selected and leave no file.
    std::string big(50000, 'B');
    MemberSpec larger = Stored("larger.bin", big), shorter = Stored("shorter.bin", "ten bytes!");
    larger.declaredSize = 10;
    shorter.declaredSize = 20;
    MemberSpec deflatedLarger = larger, deflatedShorter = shorter;
    deflatedLarger.method = deflatedShorter.method = 8;
    deflatedLarger.stored = ZlibDeflate(big, 9, 0);
    deflatedShorter.stored = ZlibDeflate("ten bytes!", 9, 0);
    const Files bounded = {{"ok.txt", "ok"}};
    return {
        {"UnknownMethodStopsThePassWithoutTouchingAnExistingFile",
         {shrunk, Stored("later.txt", "l")},
         {{"keep.txt", "precious"}},
         {kOverwrite},
         {{"keep.txt", "precious"}},
         {"keep.txt", "later.txt"},
         {Error(TEXT_UNKNOWN_METHOD, TEXT_ERROR_CAPTION)}},
        {"FileThatCannotBeCreatedIsNamedAndStaysSelected",
         {Stored("ok.txt", "ok"), Stored(tooLong, "x")},
         {},
         {kAsk},
         {{"ok.txt", "ok"}},
         {tooLong},
         {Error(kTarget + tooLong, TEXT_CANNOT_OPEN_FILE), kSomeNotExtracted}},
        {"FileWhereADirectoryShouldBeFailsThoseMembersOnly",
         {Stored("blocker/", ""), Stored("blocker/inner.txt", "x"), Stored("z.txt", "z")},
         {{"blocker", blocker}},
         {kAsk},
         {{"blocker", blocker}, {"z.txt", "z"}},
         {"blocker/", "blocker/inner.txt"},
         {Error(kTarget + "blocker\\", TEXT_CANNOT_OPEN_FILE),
          Error(kTarget + "blocker\\inner.txt", TEXT_CANNOT_OPEN_FILE), kSomeNotExtracted}},
        // A directory where a file member goes is no existing file to keep
        // or replace, whatever the policy: the member fails, the directory stays.
        {"DirectoryInAFileMembersPlaceFailsItUnderEveryPolicy",
         {Stored("a.txt", "file"), Stored("z.txt", "z")},
         {{"a.txt/inside", "kept"}},
         {kOverwrite, kSkip, kAsk},
         {{"a.txt/", ""}, {"a.txt/inside", "kept"}, {"z.txt", "z"}},
         {"a.txt"},
         {Error(kTarget + "a.txt", TEXT_CANNOT_OPEN_FILE), kSomeNotExtracted}},
        // "*" is no character of a Windows name: the member is refused by
        // its name, never taken for an existing file, and the pass goes on.
        {"WildcardNameIsRefused",
         {Stored("*.txt", "star"), Stored("x.txt", "new")},
         {{"x.txt", "old"}},
         {kSkip},
         {{"x.txt", "old"}},
         {"*.txt"},
         {Error("*.txt", TEXT_BAD_MEMBER_NAME), kSomeNotExtracted}},
        // Below the target, a directory whose name no file system takes.
        {"DirectoryThatCannotBeMadeEndsTheWalk",
         {Stored(longDir + "/inner.txt", "x"), Stored("z.txt", "z")},
         {},
         {kAsk},
         {},
         {longDir + "/inner.txt", "z.txt"},
         {Error(kTarget + longDir, TEXT_DIRECTORY_ERROR), kSomeNotExtracted}},
        {"OverlongNameIsRefusedNotCut",
         {Stored(overlong, "long"), Stored("short.txt", "s")},
         {},
         {kAsk},
         {{"short.txt", "s"}},
         {cut},
         {Error(cut, TEXT_BAD_MEMBER_NAME), kSomeNotExtracted}},
        {"Utf8NamesAreWrittenAsThemselvesAndUnreadableOnesRefused",
         {korean, won, unreadable, Stored("after.txt", "a")},
         {},
         {kAsk},
         {{u8"한글 폴더/", ""}, {u8"한글 폴더/문서.txt", "document"}, {u8"가격₩.txt", "price"}, {"after.txt", "a"}},
         {shown},
         {Error(shown, TEXT_BAD_MEMBER_NAME), kSomeNotExtracted}},
        {"DeclaredSizeBoundsWhatAStoredMemberWrites",
         {larger, shorter, Stored("ok.txt", "ok")},
         {},
         {kOverwrite},
         bounded,
         {"larger.bin", "shorter.bin"},
         {kSomeNotExtracted}},
        {"DeclaredSizeBoundsWhatADeflatedMemberWrites",
         {deflatedLarger, deflatedShorter, Stored("ok.txt", "ok")},
         {},
         {kOverwrite},
         bounded,
         {"larger.bin", "shorter.bin"},
         {kSomeNotExtracted}},
    };
}

class FailedMembers : public Extraction, public ::testing::WithParamInterface<FailedMembersCase> {};

TEST_P(FailedMembers, StaySelectedAndAreNamed) {
    const FailedMembersCase& c = GetParam();
    for (uint8_t policy : c.policies) {
        const char* policyNames[] = {"overwrite", "skip", "ask"};
        SCOPED_TRACE(std::string("policy ") + policyNames[policy]);
        Fresh(c.before);
        Archive(c.members);
        Sfx.OverwriteMode = policy;
        List();
        Extract();
        EXPECT_EQ(Tree(), c.after);
        EXPECT_EQ(Selected(), c.selected);
        EXPECT_EQ(Events(), BelowTarget(c.events));
        EXPECT_EQ(Sfx.AllExtracted, c.events == std::vector<Event>{kAllExtracted});
    }
}

INSTANTIATE_TEST_SUITE_P(Extraction, FailedMembers, ::testing::ValuesIn(FailedMembersCases()),
                         [](const ::testing::TestParamInfo<FailedMembersCase>& info) {
                             return std::string(info.param.label);
                         });

// The archives of the name table through the passes themselves, under
// each of their code pages: every written path holds its member's data and
// nothing else is written; every refused name is named in a box, in archive
// order, and stays selected; the pass goes on past it.
TEST_F(Extraction, TableArchivesAreWrittenOrRefusedAsTheTableSays) {
    for (const NameArchive& archive : ReadNameTable()) {
        std::vector<MemberSpec> members;
        Files written;
        std::vector<std::string> refused;
        std::vector<Event> events;
        for (const NameRow& row : archive.members) {
            MemberSpec member = Stored(row.name, "line " + std::to_string(row.line));
            member.utf8Name = row.flags & 0x800;
            member.extra = row.extra;
            members.push_back(member);
            std::string text = row.outcome.substr(1);
            if (row.outcome[0] == '=') written[text] = member.data;
            else refused.push_back(text), events.push_back(Error(text, TEXT_BAD_MEMBER_NAME));
        }
        events.push_back(refused.empty() ? kAllExtracted : kSomeNotExtracted);
        std::sort(refused.begin(), refused.end());
        for (uint32_t codePage : archive.codePages) {
            SCOPED_TRACE(archive.label + " in code page " + std::to_string(codePage));
            SetAnsiCodePage(codePage);
            Fresh();
            Archive(members);
            List();
            Extract();
            Files files = Tree();
            for (auto entry = files.begin(); entry != files.end();)
                entry = entry->first.back() == '/' ? files.erase(entry) : std::next(entry);
            std::vector<std::string> selected = Selected();
            std::sort(selected.begin(), selected.end());
            EXPECT_EQ(files, written);
            EXPECT_EQ(selected, refused);
            EXPECT_EQ(Events(), events);
        }
    }
}

TEST_F(Extraction, FileWhoseCloseFailsIsNotExtracted) {
    Archive({Stored("a.txt", "a")});
    List();
    FailNextClose();
    Extract();
    EXPECT_EQ(Selected(), (std::vector<std::string>{"a.txt"}));
    EXPECT_EQ(Events(),
              (std::vector<Event>{Error(CoreForm(target) + "\\a.txt", TEXT_CLOSE_FAILED), kSomeNotExtracted}));
}

TEST_F(Extraction, NamesThatWouldLeaveTheTargetAreRefused) {
    const char* hostile[] = {"../escape.txt", "a/../../escape.txt", "/abs.txt",    "\\abs.txt",
                             "C:evil.txt",    "a/.../x.txt",        "a/. ./x.txt", "a\\..\\..\\x.txt"};
    std::vector<MemberSpec> members;
    for (const char* name : hostile) members.push_back(Stored(name, "bad"));
    members.push_back(Stored("fine/..name.txt", "good"));
    Archive(members);
    List();
    Extract();
    EXPECT_EQ(Out("fine/..name.txt"), "good");
    EXPECT_FALSE(Exists("../escape.txt"));
    EXPECT_FALSE(Exists("escape.txt"));
    EXPECT_EQ(Selected().size(), 8u);
    ASSERT_EQ(Events().size(), 9u);
    for (size_t i = 0; i < 8; ++i) EXPECT_EQ(Events()[i].caption, TEXT_BAD_MEMBER_NAME);
    EXPECT_EQ(Events().back(), kSomeNotExtracted);
}

// A real source tree holds xt_MARK.h beside xt_mark.h; archives also hold
// one name twice. Each member is its own item: natively the twins are two
// files, and the later duplicate meets the earlier one's file.
TEST_F(Extraction, CaseTwinsAndDuplicatesAreEachTheirOwnMember) {
    Archive({Stored("xt_MARK.h", "upper"), Stored("a.txt", "first"), Stored("b.txt", "b"), Stored("xt_mark.h", "lower"),
             Stored("a.txt", "second")});
    Frontend().overwrites = {{true, false}};
    List();
    Extract();
    EXPECT_EQ(Out("xt_MARK.h"), "upper");
    EXPECT_EQ(Out("xt_mark.h"), "lower");
    EXPECT_EQ(Out("a.txt"), "second");
    EXPECT_EQ(Events(), (std::vector<Event>{{Event::kOverwriteQuestion, "a.txt", ""}, kAllExtracted}));
}

// --- The existing-file policy ----------------------------------------------

// Two existing files and a fresh one under each policy. An answer decides
// its own file; with "never ask again" it becomes the policy; once the user
// has switched the policy to Overwrite while the question was open, that
// answer is ignored and the previous one stands. A question names the file
// without its directory.
TEST_F(Extraction, ExistingFilesFollowThePolicyAndTheAnswers) {
    struct Case {
        uint8_t mode;
        std::deque<OverwriteReply> replies;
        const char *one, *two;
        uint8_t modeAfter;
        size_t questions;
    } cases[] = {
        {kSkip, {}, "old1", "old2", kSkip, 0},
        {kOverwrite, {}, "new1", "new2", kOverwrite, 0},
        {kAsk, {{true, false}, {false, false}}, "new1", "old2", kAsk, 2},
        {kAsk, {{true, true}}, "new1", "new2", kOverwrite, 1},
        {kAsk, {{false, true}}, "old1", "old2", kSkip, 1},
        {kAsk, {{false, false}, {true, false, true}}, "old1", "old2", kOverwrite, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(&c - cases);
        Fresh({{"one.txt", "old1"}, {"sub/two.txt", "old2"}});
        Archive({Stored("one.txt", "new1"), Stored("sub/two.txt", "new2"), Stored("fresh.txt", "f")});
        Sfx.OverwriteMode = c.mode;
        Frontend().overwrites = c.replies;
        List();
        Extract();
        EXPECT_EQ(Out("one.txt"), c.one);
        EXPECT_EQ(Out("sub/two.txt"), c.two);
        EXPECT_EQ(Out("fresh.txt"), "f");
        EXPECT_EQ(Sfx.OverwriteMode, c.modeAfter);
        std::vector<Event> expected = {{Event::kOverwriteQuestion, "one.txt", ""},
                                       {Event::kOverwriteQuestion, "two.txt", ""}};
        expected.resize(c.questions);
        expected.push_back(kAllExtracted);
        EXPECT_EQ(Events(), expected);
    }
}

// --- Passwords ---------------------------------------------------------------

static MemberSpec Encrypted(const std::string& name, const std::string& data, const std::string& password) {
    MemberSpec member = Stored(name, data);
    member.password = password;
    return member;
}

TEST_F(Extraction, OnePasswordForTwoMembersIsAskedOnce) {
    MemberSpec second = Encrypted("two.txt", "second secret", "sesame");
    second.sizesAfterData = true;  // checked against the time byte instead
    Archive({Encrypted("one.txt", "first secret", "sesame"), second});
    Frontend().passwords = {"sesame"};
    List();
    Extract();
    EXPECT_EQ(Out("one.txt"), "first secret");
    EXPECT_EQ(Out("two.txt"), "second secret");
    EXPECT_EQ(Events(), (std::vector<Event>{kPasswordPrompt, kAllExtracted}));
    EXPECT_EQ(Bytes(Sfx.Password), "sesame");
}

TEST_F(Extraction, ThreeWrongPasswordsEndTheWalkSilently) {
    Archive({Stored("plain.txt", "p"), Encrypted("locked.txt", "l", "right"), Stored("after.txt", "a")});
    Frontend().passwords = {"wrong1", "", "wrong3", "right"};
    List();
    Extract();
    EXPECT_EQ(Out("plain.txt"), "p");
    EXPECT_FALSE(Exists("locked.txt"));
    EXPECT_FALSE(Exists("after.txt"));
    EXPECT_EQ(Events(), (std::vector<Event>{kPasswordPrompt, kPasswordPrompt, kPasswordPrompt}));
    EXPECT_EQ(Selected(), (std::vector<std::string>{"after.txt", "locked.txt"}));
    EXPECT_FALSE(Sfx.AllExtracted);
}

// A wrong password that passes the check byte the member's header holds.
static std::string WrongPasswordPassingTheCheck(const MemberSpec& member) {
    std::string header = LocalMember(member).substr(30 + member.name.size(), 12);
    uint8_t work[24];
    for (int i = 0;; ++i) {
        std::string guess = "wrong" + std::to_string(i);
        std::memcpy(work + 12, header.data(), 12);
        Text text = Counted(guess);
        bool passes = CheckPasswordHeader(work, 12, 1, Crc32Of(member.data), 0, text);
        ReleaseText(text);
        if (passes) return guess;
    }
}

// The remembered password stays for the members it opens. A member that
// fails its CRC check after a password opened it is marked and asks again
// on the next pass: the password may have passed its one-byte check by
// chance (about 1 in 256 wrong ones do), or the member be damaged.
TEST_F(Extraction, PasswordStaysForTheMembersItFitsAndAFailedOneAsksAgain) {
    // The builder gives every member the same encryption header, so a wrong
    // password that passes one.txt's check passes two.txt's too; both fail
    // their CRC and ask on the next pass.
    MemberSpec one = Encrypted("one.txt", "first secret", "right");
    Archive({one, Encrypted("two.txt", "second secret", "right")});
    Sfx.OverwriteMode = kOverwrite;
    Frontend().passwords = {WrongPasswordPassingTheCheck(one), "right", "right"};
    List();
    Extract();
    EXPECT_EQ(Selected(), (std::vector<std::string>{"one.txt", "two.txt"}));
    Extract();
    EXPECT_EQ(Out("one.txt"), "first secret");
    EXPECT_EQ(Out("two.txt"), "second secret");
    EXPECT_EQ(Events(), (std::vector<Event>{kPasswordPrompt, kSomeNotExtracted, kPasswordPrompt, kPasswordPrompt,
                                            kAllExtracted}));

    // A damaged member between good ones costs no second prompt.
    MemberSpec damaged = Encrypted("damaged.txt", "lost", "right");
    damaged.wrongCrc = true;
    Archive({Encrypted("a.txt", "a", "right"), damaged, Encrypted("b.txt", "b", "right")});
    ResetFrontend();
    ReleaseText(Sfx.Password);
    Frontend().passwords = {"right"};
    List();
    Extract();
    EXPECT_EQ(Out("b.txt"), "b");
    EXPECT_EQ(Selected(), (std::vector<std::string>{"damaged.txt"}));
    EXPECT_EQ(Events(), (std::vector<Event>{kPasswordPrompt, kSomeNotExtracted}));
}

// --- AES members -------------------------------------------------------------

static MemberSpec Aes(const std::string& name, const std::string& data, const std::string& password,
                      uint8_t strength = 3) {
    MemberSpec member = Encrypted(name, data, password);
    member.aesStrength = strength;
    member.salt = std::string("\0\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f", 4 + 4 * strength);
    return member;
}

TEST_F(Extraction, AesMembersOfEveryStrengthAndBothVersionsExtract) {
    MemberSpec deflated = Aes("deflated.txt", std::string(3000, 'd'), "pw", 1);
    deflated.method = 8;
    deflated.stored = ZlibDeflate(deflated.data, 9, 0);
    MemberSpec ae1 = Aes("ae1.txt", "checked by its CRC too", "pw", 2);
    ae1.aesVersion = 1;
    Archive({deflated, ae1, Aes("ae2.bin", std::string(70000, 'x'), "pw")});
    Frontend().passwords = {"pw"};
    List();
    Extract();
    EXPECT_EQ(Out("deflated.txt"), deflated.data);
    EXPECT_EQ(Out("ae1.txt"), ae1.data);
    EXPECT_EQ(Out("ae2.bin"), std::string(70000, 'x'));
    EXPECT_EQ(Events(), (std::vector<Event>{kPasswordPrompt, kAllExtracted}));
}

// A member whose authentication code fails is refused before its file is
// touched; the password that opened it stays for the next member, and the
// failed one asks again. "wrong25724" passes the verifier of "right" with
// this salt (found once by search; about 1 in 65,536 passwords do).
TEST_F(Extraction, AesMemberFailingItsCodeTouchesNoFile) {
    MemberSpec flipped = Aes("flipped.txt", "new content", "right");
    std::string member = LocalMember(flipped);
    member[member.size() - 15] ^= 1;  // a bit of the encrypted data
    OpenRaw(member + LocalMember(Aes("after.txt", "secret", "right")) + ArchiveEnd());
    WriteWholeFile(target + "/flipped.txt", "precious");
    Sfx.OverwriteMode = kOverwrite;
    Frontend().passwords = {"right", "right"};
    List();
    Extract();
    EXPECT_EQ(Out("flipped.txt"), "precious");
    EXPECT_EQ(Out("after.txt"), "secret");
    EXPECT_EQ(Selected(), (std::vector<std::string>{"flipped.txt"}));
    Extract();  // marked: asks again, and fails again
    EXPECT_EQ(Out("flipped.txt"), "precious");
    EXPECT_EQ(Events(), (std::vector<Event>{kPasswordPrompt, kSomeNotExtracted, kPasswordPrompt, kSomeNotExtracted}));

    // A password that passes the verifier by chance fails the code.
    Archive({Aes("collides.txt", "secret", "right")});
    ResetFrontend();
    ReleaseText(Sfx.Password);
    Frontend().passwords = {"wrong25724", "right"};
    List();
    Extract();
    EXPECT_FALSE(Exists("collides.txt"));
    Extract();
    EXPECT_EQ(Out("collides.txt"), "secret");
    EXPECT_EQ(Events(), (std::vector<Event>{kPasswordPrompt, kSomeNotExtracted, kPasswordPrompt, kAllExtracted}));
}

// A password typed in Korean opens a member encrypted with its code page
// 949 bytes (a Korean tool) and one encrypted with its UTF-8 bytes (doromi
// build), asked once, whatever the ANSI code page.
TEST_F(Extraction, TypedPasswordIsTriedInEachOfItsForms) {
    for (uint32_t codePage : {949u, 1252u}) {
        SCOPED_TRACE(codePage);
        SetAnsiCodePage(codePage);
        Fresh();
        ReleaseText(Sfx.Password);
        Archive({Encrypted("949.txt", "korean tool", "\xBA\xF1\xB9\xD0"), Aes("utf8.txt", "doromi", "비밀")});
        Frontend().passwords = {"비밀"};
        List();
        Extract();
        EXPECT_EQ(Out("949.txt"), "korean tool");
        EXPECT_EQ(Out("utf8.txt"), "doromi");
        EXPECT_EQ(Events(), (std::vector<Event>{kPasswordPrompt, kAllExtracted}));
    }
}

TEST_F(Extraction, EncryptedEmptyMemberIsJustItsHeader) {
    Archive({Encrypted("empty.txt", "", "pw")});
    Frontend().passwords = {"pw"};
    List();
    Extract();
    EXPECT_TRUE(Exists("empty.txt"));
    EXPECT_EQ(Out("empty.txt"), "");
    EXPECT_EQ(Events(), (std::vector<Event>{kPasswordPrompt, kAllExtracted}));
}

TEST_F(Extraction, AutomaticRunShowsNoSuccessNotice) {
    Archive({Stored("a.txt", "a")});
    Sfx.AutoStart = true;
    List();
    Extract();
    EXPECT_TRUE(Events().empty());
    EXPECT_TRUE(Sfx.AllExtracted);
}
