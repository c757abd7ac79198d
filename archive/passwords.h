#pragma once
// Finding the password of an encrypted member, for the traditional cipher
// and AES alike: the remembered one, then up to three typed ones, each in
// every byte form it may have been encrypted with. The password box gives
// Unicode text (UTF-8 in Sfx.Password), but the ciphers take bytes, and
// which bytes depends on the tool that encrypted the archive: a Windows
// tool takes its own ANSI code page, a Korean one code page 949, doromi
// build and the tools of Linux and macOS UTF-8.
#include <stdint.h>

#include "util/text.h"

enum : uint32_t {
    kPasswordForms = 3,     // the ANSI code page's bytes, code page 949's, UTF-8
    kPasswordAttempts = 3,  // typed passwords asked for one member
};

// Writes form `index` of `password` into `out` (`size` bytes; every form
// fits kPasswordBufferSize, as the UTF-8 text does) and returns
// its length; 0 when the form is not to be tried: the password is empty,
// cannot be written in that code page (never through a look-alike), or
// gives the same bytes as an earlier form.
uint32_t PasswordForm(uint32_t index, const Text& password, char* out, uint32_t size);

// Whether one byte form of a password opens the member; `context` is the
// caller's.
typedef bool (*PasswordTest)(const char* form, uint32_t length, void* context);

// Finds a password whose form `opens` accepts: the remembered one first
// (unless `askFirst`), then up to kPasswordAttempts typed ones. Every typed
// password becomes the remembered one, whether right or not. False when
// none opened the member.
bool FindPassword(bool askFirst, PasswordTest opens, void* context);
