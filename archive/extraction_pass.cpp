#include "archive/extraction_pass.h"

#include "archive/extra_fields.h"
#include "archive/member_extraction.h"
#include "archive/pass_state.h"
#include "archive/zip_format.h"
#include "platform/platform.h"
#include "startup/sfx_globals.h"
#include "ui/texts.h"
#include "util/archive_position.h"

// The local-header signature is formed at run time: the stub's image must
// not hold its bytes, or tools would take the stub for the archive.
static uint32_t LocalHeaderSignature() {
    volatile uint32_t oneAbove = kLocalHeaderSignature + 1;
    return oneAbove - 1;
}

bool ReadLocalHeader() {
    for (;;) {
        Sfx.Header.signature = 0;
        uint32_t arrived = ReadFromFile(Sfx.ArchiveHandle, &Sfx.Header, sizeof Sfx.Header);
        uint32_t signature = arrived == sizeof Sfx.Header ? Sfx.Header.signature : 0;
        if (signature == Sfx.ExpectedSignature || signature == kAlternateLocalHeaderSignature) {
            Sfx.CompressedLeft = Sfx.Header.compressedSize;
            return true;
        }
        Sfx.CompressedLeft = 0;
        // Only a descriptor with its signature is recognised; any number of
        // them in a row is stepped over.
        if (Sfx.Header.signature != kDataDescriptorSignature) return false;
        if (Sfx.ArchivePosition > kLastPosition - kDataDescriptorSize) return false;
        SeekArchive(Sfx.ArchivePosition + kDataDescriptorSize);
    }
}

// Where the member's data ends, in 64 bits: no sum of an offset and a size
// wraps into a small position.
static uint64_t MemberDataEnd(const PassState& pass) {
    return (uint64_t)pass.headerPosition + sizeof(LocalHeader) + Sfx.Header.nameLength + Sfx.Header.extraLength +
           Sfx.Header.compressedSize;
}

// Whether the member lies wholly below 4 GiB, where a file can hold it (an
// executable of 4 GiB or more does not run). A member that does not, one of
// 0xFFFFFFFF bytes among them, would need ZIP64: the walk ends before it,
// as at the archive's end, and nothing is read or sought beyond.
static bool WithinReach(const PassState& pass) { return MemberDataEnd(pass) <= kLastPosition; }

uint32_t MemberDataPosition(const PassState& pass) {
    return pass.headerPosition + sizeof(LocalHeader) + Sfx.Header.nameLength + Sfx.Header.extraLength;
}

// Reads the name that follows the header, and the extra field after it in
// the same read. Only bytes that arrived count; a name longer than
// kLongestRawMemberName is read no further (it cannot be used) and its
// extra field not at all.
static RawMemberName ReadRawName(PassState& pass) {
    RawMemberName raw = {};
    raw.bytes = pass.nameWork;
    raw.declaredLength = Sfx.Header.nameLength;
    raw.flags = Sfx.Header.flags;
    bool whole = raw.declaredLength <= kLongestRawMemberName;
    uint32_t wanted = whole ? raw.declaredLength + Sfx.Header.extraLength : kLongestRawMemberName;
    uint32_t arrived = ReadFromFile(Sfx.ArchiveHandle, pass.nameWork, wanted);
    raw.length = arrived < raw.declaredLength ? arrived : raw.declaredLength;
    raw.extra = (const uint8_t*)pass.nameWork + raw.length;
    raw.extraLength = whole ? arrived - raw.length : 0;
    pass.extra = raw.extra;
    pass.extraLength = raw.extraLength;
    pass.sizesKnown = TakeZip64Sizes(Sfx.Header, pass.extra, pass.extraLength);
    Sfx.CompressedLeft = Sfx.Header.compressedSize;
    return raw;
}

static void ReadMemberName(PassState& pass) {
    RawMemberName raw = ReadRawName(pass);
    ReleaseText(pass.name);
    char* work = pass.nameWork + kLongestRawMemberName + kLongestExtraField;
    pass.nameUsable = DecodeMemberName(raw, Sfx.UnmarkedNamesUtf8, work, pass.name);
}

// A member written while streaming may leave its sizes to a data
// descriptor and put zeros in its local header; the walk, which takes sizes
// from the local header only, would then look for the next header inside
// the member's data. Only an empty member is followed by its descriptor
// right away. A ZIP64 placeholder without a size that fits here is as
// unknown.
static bool HidesItsSize(const PassState& pass) {
    if (!pass.sizesKnown) return true;
    if (!(Sfx.Header.flags & kFlagSizesAfterData) || Sfx.Header.compressedSize != 0) return false;
    uint32_t following = 0;
    SeekArchive(MemberDataPosition(pass));
    ReadFromFile(Sfx.ArchiveHandle, &following, sizeof following);
    return following != kDataDescriptorSignature;
}

static MemberOutcome HandleMember(PassState& pass, bool listOnly) {
    pass.headerPosition = Sfx.ArchivePosition;
    ReadMemberName(pass);
    if (pass.name.length == 0) {
        ShowError(TEXT_BAD_MEMBER_NAME, TEXT_ERROR_CAPTION);
        return kEndPassAtOnce;
    }
    if (pass.sizesKnown && !WithinReach(pass)) return kEndWalk;
    if (HidesItsSize(pass)) {
        ShowError(pass.name.bytes, TEXT_SIZE_NOT_RECORDED);
        return kEndPassAtOnce;
    }
    uint32_t ordinal = pass.ordinal++;
    if (listOnly) {
        AddMemberName(pass.list, pass.name.bytes, ordinal);
        return kNextMember;
    }
    if (!IsMemberOrdinalSelected(pass.list, pass.items, ordinal)) return kNextMember;
    return ExtractMember(pass);
}

// The archive is positioned with unsigned 32-bit offsets. A size that would
// take the walk to 4 GiB or beyond ends it: cut to 32 bits it could point
// back to this member or an earlier one, and the walk would go round the
// same members for ever.
static bool SeekNextMember(const PassState& pass) {
    uint64_t next = MemberDataEnd(pass);
    if (next > kLastPosition) return false;
    SeekArchive((uint32_t)next);
    return true;
}

static MemberOutcome WalkMembers(PassState& pass, bool listOnly) {
    while (ReadLocalHeader()) {
        MemberOutcome outcome = HandleMember(pass, listOnly);
        if (outcome != kNextMember) return outcome;
        if (!SeekNextMember(pass)) break;
    }
    return kEndWalk;
}

// Before the list is filled: reads the name of every header the listing
// will reach and decides once, for the whole archive, how names without a
// UTF-8 mark are read. Every later pass keeps the decision.
static void DecideUnmarkedNames(PassState& pass) {
    UnmarkedNameEvidence evidence = NoUnmarkedNames();
    while (ReadLocalHeader()) {
        pass.headerPosition = Sfx.ArchivePosition;
        RawMemberName raw = ReadRawName(pass);
        if (IsEmptyMemberName(raw)) break;  // the listing ends there too
        if (pass.sizesKnown && !WithinReach(pass)) break;
        WeighUnmarkedName(raw, evidence);
        if (HidesItsSize(pass) || !SeekNextMember(pass)) break;
    }
    Sfx.UnmarkedNamesUtf8 = UnmarkedNamesAreUtf8(evidence);
    SeekArchive(Sfx.ArchiveBase);
}

// After an extraction walk: the last selected member reached decides
// whether anything is said at all.
static void CloseExtraction(const PassState& pass) {
    if (!pass.ready) return;
    if (CountSelectedMembers(pass.list) == 0) {
        if (!Sfx.AutoStart) ShowNotice(TEXT_ALL_EXTRACTED, TEXT_FINISHED_CAPTION);
        Sfx.AllExtracted = true;
        return;
    }
    ShowProgress(pass.dialog, TEXT_SOME_NOT_EXTRACTED);
    ShowError(TEXT_SOME_NOT_EXTRACTED, TEXT_ERROR_CAPTION);
}

void ExtractionPass(WindowHandle dialog, int listId, bool listOnly) {
    Sfx.AllExtracted = false;
    Sfx.ExpectedSignature = LocalHeaderSignature();
    if (SeekArchive(Sfx.ArchiveBase) == -1) {
        ShowError(TEXT_ARCHIVE_OPEN_FAILED, TEXT_ERROR_CAPTION);
        return;
    }
    PassState pass = {};
    pass.dialog = dialog;
    pass.list = MemberListOf(dialog, listId);
    pass.nameWork = (char*)AllocateBlock(kNameWorkSize);
    if (!pass.nameWork || (!listOnly && !MapMemberItems(pass.list, pass.items))) {
        ReleaseBlock(pass.nameWork);
        ShowError(TEXT_OUT_OF_MEMORY, TEXT_ERROR_CAPTION);
        return;
    }
    Sfx.LastListIndex = -1;
    if (listOnly) {
        DecideUnmarkedNames(pass);
        ClearMemberList(pass.list);
    }

    MemberOutcome outcome = WalkMembers(pass, listOnly);
    if (listOnly) EndMemberListing(pass.list);
    if (outcome == kEndWalk) {
        if (!listOnly) CloseExtraction(pass);
        else if (CountMembers(pass.list) == 0) ShowError(TEXT_ARCHIVE_OPEN_FAILED, TEXT_ERROR_CAPTION);
    }
    ReleaseText(pass.name);
    ReleasePlainDirectories(pass.plainDirectories);
    ReleaseMemberItems(pass.items);
    ReleaseBlock(pass.nameWork);
}
