#pragma once
// The byte forms in which a typed password is tried. The password box
// gives Unicode text (UTF-8 in Sfx.Password), but the ciphers take bytes,
// and which bytes depends on the tool that encrypted the archive: a
// Windows tool takes its own ANSI code page, a Korean one code page 949,
// doromi build and the tools of Linux and macOS UTF-8.
#include <stdint.h>

#include "util/text.h"

enum : uint32_t {
    kPasswordForms = 3,  // the ANSI code page's bytes, code page 949's, UTF-8
};

// Writes form `index` of `password` into `out` (`size` bytes; every form
// fits kPasswordBufferSize, as the UTF-8 text does) and returns
// its length; 0 when the form is not to be tried: the password is empty,
// cannot be written in that code page (never through a look-alike), or
// gives the same bytes as an earlier form.
uint32_t PasswordForm(uint32_t index, const Text& password, char* out, uint32_t size);
