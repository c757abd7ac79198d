#pragma once
// What the POSIX side of OpenWithShell was asked to open. It starts nothing
// (a command written for Windows has no meaning here) and keeps the request
// so that the native tool can mention it and tests can check it.
#include <stdint.h>

// How many times OpenWithShell was called in this process.
uint32_t ShellOpenCount();

// The file and the parameters of the latest call, as the core passed them
// (code page 949, "\" between components); empty before the first call.
const char* LastShellOpenFile();
const char* LastShellOpenParameters();
