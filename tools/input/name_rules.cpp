#include "tools/input/name_rules.h"

#include <cstring>

#include "archive/member_names.h"
#include "tools/common/text_encoding.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Characters no Windows file or folder name may hold, besides the control
// characters.
const char kReservedCharacters[] = ":*?\"<>|";

std::string Upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = (char)(c - 'a' + 'A');
    return text;
}

// Whether the part before its first dot, without trailing blanks, is a
// device's name.
bool NamesDevice(const std::string& part) {
    std::string base = Upper(part.substr(0, part.find('.')));
    while (!base.empty() && base.back() == ' ') base.pop_back();
    if (base == "CON" || base == "PRN" || base == "AUX" || base == "NUL") return true;
    return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '1' &&
           base[3] <= '9';
}

// The rule one part breaks, or empty.
std::string WhyPartIsRefused(const std::string& part) {
    if (part.empty() || part == ".") return "";
    std::string quoted = "\"" + PrintableText(part) + "\"";
    if (part.find_first_not_of('.') == std::string::npos)
        return "its part " + quoted + " leads out of the target folder";
    if (part.back() == '.' || part.back() == ' ')
        return "its part " + quoted + " ends in a dot or a blank, which Windows drops";
    if (NamesDevice(part)) return "its part " + quoted + " is the name of a Windows device";
    return "";
}

// The rule the name breaks, as far as these rules tell.
std::string WhyWindowsRefuses(const std::string& name) {
    if (!name.empty() && IsSeparator(name[0]))
        return "it starts with \"" + name.substr(0, 1) + "\", which puts it outside the target folder";
    for (unsigned char c : name) {
        if (c < 0x20)
            return "it holds the control character " + CodePointLabel(std::string(1, (char)c)) +
                   ", which Windows does not allow in file names";
        if (std::strchr(kReservedCharacters, c))
            return std::string("it holds the character \"") + (char)c +
                   "\", which Windows does not allow in file names";
    }
    for (size_t start = 0; start <= name.size();) {
        size_t end = start;
        while (end < name.size() && !IsSeparator(name[end])) ++end;
        std::string why = WhyPartIsRefused(name.substr(start, end - start));
        if (!why.empty()) return why;
        start = end + 1;
    }
    return "";
}

}  // namespace

std::string NameRefusal(const std::string& utf8Name) {
    Text text = MakeText(utf8Name.data(), (uint32_t)utf8Name.size());
    bool safe = IsSafeMemberName(text);
    ReleaseText(text);
    if (safe) return "";
    std::string why = WhyWindowsRefuses(utf8Name);
    return why.empty() ? "its name would leave the target folder or is not one Windows allows" : why;
}
