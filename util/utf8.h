#pragma once
// UTF-8, the core's text form: the one rule for telling UTF-8 text, how
// many UTF-16 units (Windows' characters) a text is, and the composition of
// Korean names. Shared by the stub and the tool.
#include <stdint.h>

// What FollowingBytes gives for a byte that cannot start a UTF-8 sequence.
enum : uint32_t { kNotALeadByte = 0xFF };

// How many continuation bytes follow `lead` in a well-formed sequence (0 to
// 3), or kNotALeadByte: continuation bytes, C0 and C1 (which could only
// start overlong forms) and F5 to FF (beyond U+10FFFF). The one rule of
// lead bytes, for the stub and the tool alike.
uint32_t FollowingBytes(uint8_t lead);

// Whether `length` bytes are well-formed UTF-8 in the strict sense: no
// overlong forms, no surrogates (U+D800 to U+DFFF), nothing above U+10FFFF
// and no sequence cut short.
bool IsStrictUtf8(const char* bytes, uint32_t length);

// Whether any of `length` bytes lies outside ASCII.
bool HasNonAscii(const char* bytes, uint32_t length);

// The UTF-16 units of `length` bytes of UTF-8: one per character, two for
// a character above U+FFFF. Limits in characters count these, as Windows
// does.
uint32_t Utf16Units(const char* utf8, uint32_t length);

// How many leading bytes of a UTF-8 text make at most `units` UTF-16
// units, ending on a character boundary.
uint32_t BytesWithinUnits(const char* utf8, uint32_t length, uint32_t units);

// Composes conjoining Hangul jamo, as macOS writes Korean names (a leading
// consonant U+1100..U+1112, a vowel U+1161..U+1175 and an optional trailing
// consonant U+11A8..U+11C2, or a syllable without a trailing consonant
// followed by one), into the precomposed syllables U+AC00..U+D7A3 that
// Windows users type, by the Unicode algorithm's arithmetic. Everything
// else stays as it is: this is not a whole normalisation (Linux has none
// to offer, and Windows' would compose more than the tool could), only the
// one that Korean names need. Works in place, since a syllable never takes
// more bytes than its jamo; returns the new length.
uint32_t ComposeHangulJamo(char* utf8, uint32_t length);
