#pragma once
// Why the stub refuses a member's name, in words: the core's own check
// (IsSafeMemberName) decides, and this names the character or the part
// that fails it, alike for names from files and from archives.
#include <string>

// The reason the stub refuses `utf8Name` ("/" or "\" between its parts),
// or empty when it takes it.
std::string NameRefusal(const std::string& utf8Name);
