#include "tools/input/case_twins.h"

#include <map>
#include <set>
#include <utility>

#include "tools/common/text_encoding.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

struct FirstSpelling {
    std::string spelled;
    bool folder;
};

}  // namespace

std::vector<CaseTwin> FindCaseTwins(const std::vector<std::string>& utf8Names) {
    std::vector<CaseTwin> twins;
    std::map<std::string, FirstSpelling> first;  // by folded form: every name and every folder on a path
    std::set<std::pair<std::string, std::string>> reported;
    for (size_t member = 0; member < utf8Names.size(); ++member) {
        const std::string& name = utf8Names[member];
        // Each part's end: the folders on the path, then the name itself
        // unless it is a folder's, which ends in a separator.
        for (size_t end = 0; end <= name.size(); ++end) {
            if (end < name.size() && !IsSeparator(name[end])) continue;
            if (end == 0 || IsSeparator(name[end - 1])) continue;  // no part ends here
            std::string spelled = name.substr(0, end);
            bool folder = end < name.size();
            auto found = first.emplace(FoldedForWindows(spelled), FirstSpelling{spelled, folder}).first;
            const FirstSpelling& earlier = found->second;
            if (earlier.spelled == spelled || !reported.insert({earlier.spelled, spelled}).second) continue;
            twins.push_back({member, spelled + (folder ? "/" : ""), earlier.spelled + (earlier.folder ? "/" : ""),
                             folder, earlier.folder});
        }
    }
    return twins;
}

std::string CaseTwinConsequence(const CaseTwin& twin) {
    if (!twin.nameIsFolder && !twin.earlierIsFolder)
        return "one file on Windows: the later meets the earlier under the overwrite choice";
    if (twin.nameIsFolder && twin.earlierIsFolder) return "one folder on Windows, which takes the members of both";
    return "a file and a folder under one name on Windows, which holds only one of them: the later cannot be made";
}

std::string CaseTwinWarning(const std::vector<std::string>& utf8Names) {
    std::vector<CaseTwin> twins = FindCaseTwins(utf8Names);
    if (twins.empty()) return "";
    std::string list;
    for (size_t i = 0; i < twins.size() && i < 5; ++i) {
        const CaseTwin& twin = twins[i];
        const std::string& member = utf8Names[twin.member];
        list += (i ? "; \"" : "\"") + PrintableText(twin.earlier) + "\" and \"" + PrintableText(twin.name) + "\"";
        if (twin.name != member) list += " of \"" + PrintableText(member) + "\"";
        list += " (" + CaseTwinConsequence(twin) + ")";
    }
    if (twins.size() > 5) list += "; and " + std::to_string(twins.size() - 5) + " more";
    return "names that differ only in letter case are one name on Windows: " + list;
}
