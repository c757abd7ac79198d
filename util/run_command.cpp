#include "util/run_command.h"

#include <string.h>

#include "platform/platform.h"
#include "startup/sfx_globals.h"
#include "ui/texts.h"
#include "util/paths.h"

static const char kPieceSeparator = '|';

static bool IsMarkerAt(const Text& piece, uint32_t at) {
    return at + 1 < piece.length && piece.bytes[at] == '>' && piece.bytes[at + 1] == '<';
}

// The program piece is everything before the first "|" (or the whole
// command); the parameters piece everything after it (or nothing).
static Text CommandPiece(const Text& command, int piece) {
    const char* bar = command.bytes ? (const char*)memchr(command.bytes, kPieceSeparator, command.length) : 0;
    uint32_t barAt = bar ? (uint32_t)(bar - command.bytes) : command.length;
    if (piece == kRunProgram) return MakeText(command.bytes, barAt);
    if (!bar) return MakeText(0, 0);
    return MakeText(bar + 1, command.length - barAt - 1);
}

static uint32_t CountMarkers(const Text& piece) {
    uint32_t count = 0;
    for (uint32_t at = 0; at < piece.length; ++at)
        if (IsMarkerAt(piece, at)) ++count;
    return count;
}

// One left-to-right pass: the inserted directory is never searched for
// markers itself. The new text is sized before anything is copied; with a
// command of at most 260 bytes and a directory of at most 255 it stays far
// below the range of its 32-bit length.
static Text ReplaceMarkers(const Text& piece, const char* directory) {
    uint32_t directoryLength = PathBufferLength(directory);
    uint32_t markers = CountMarkers(piece);
    Text expanded = MakeText(0, piece.length - 2 * markers + markers * directoryLength);
    if (!expanded.bytes) return expanded;
    char* out = expanded.bytes;
    for (uint32_t at = 0; at < piece.length; ++at) {
        if (!IsMarkerAt(piece, at)) {
            *out++ = piece.bytes[at];
            continue;
        }
        memcpy(out, directory, directoryLength);
        out += directoryLength;
        ++at;
    }
    return expanded;
}

// The short form is asked for with the piece's own storage as source and
// target and the piece's length as the target size: only a short form
// that is shorter than the piece fits with its terminator, so the piece
// never grows and nothing is written past its bytes.
static void UseShortForm(Text& piece) {
    if (!piece.bytes) return;
    uint32_t shortLength = ShortPathInPlace(piece.bytes, piece.length);
    if (shortLength > 0 && shortLength < piece.length) piece.length = shortLength;
}

Text ExpandRunCommand(int piece) {
    AddTrailingBackslash(Sfx.ExtractDir);
    Text command = TextFromBuffer(Sfx.RunCommand, sizeof Sfx.RunCommand);
    Text chosen = CommandPiece(command, piece);
    ReleaseText(command);
    Text expanded = ReplaceMarkers(chosen, Sfx.ExtractDir);
    ReleaseText(chosen);
    UseShortForm(expanded);
    return expanded;
}

static const char* TextOrEmpty(const Text& text) { return text.bytes ? text.bytes : ""; }

void RunAfterExtraction(intptr_t checkState) {
    if (checkState != 1 || !Sfx.HasRunCommand) return;
    Text program = ExpandRunCommand(kRunProgram);
    Text parameters = ExpandRunCommand(kRunParameters);
    OpenWithShell(TextOrEmpty(program), TextOrEmpty(parameters));
    ReleaseText(program);
    ReleaseText(parameters);
}

static char* Append(char* out, const char* bytes, uint32_t length) {
    if (length) memcpy(out, bytes, length);
    return out + length;
}

static Text FileNameOfPiece(int piece) {
    Text expanded = ExpandRunCommand(piece);
    Text name = FileNamePart(expanded);
    ReleaseText(expanded);
    return name;
}

Text RunChoiceCaption() {
    static const char prefix[] = TEXT_RUN_CHOICE_PREFIX;
    const uint32_t prefixLength = sizeof prefix - 1;
    Text program = FileNameOfPiece(kRunProgram);
    Text parameters = FileNameOfPiece(kRunParameters);
    Text caption = MakeText(0, prefixLength + program.length + 1 + parameters.length);
    if (caption.bytes) {
        char* out = Append(caption.bytes, prefix, prefixLength);
        out = Append(out, program.bytes, program.length);
        *out++ = ' ';
        Append(out, parameters.bytes, parameters.length);
    }
    ReleaseText(program);
    ReleaseText(parameters);
    return caption;
}
