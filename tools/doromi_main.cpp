// doromi: makes and inspects self-extracting files. Dispatches to the
// command named by the first argument.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "help_texts.h"
#include "tools/commands/arguments.h"
#include "tools/commands/commands.h"
#include "tools/common/text_encoding.h"

namespace {

struct Command {
    const char* name;
    int (*run)(const std::vector<std::string>&);
};

const Command kCommands[] = {
    {"build", BuildCommand},
    {"info", InfoCommand},
    {"extract", ExtractCommand},
};

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fputs(kDoromiHelp, stderr);
        return 2;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        std::fputs(kDoromiHelp, stdout);
        return 0;
    }
    if (name == "--version") {
        std::printf("doromi %s\n", kDoromiVersion);
        return 0;
    }
    std::vector<std::string> arguments(argv + 2, argv + argc);
    for (const Command& command : kCommands) {
        if (name != command.name) continue;
        try {
            return command.run(arguments);
        } catch (const UsageError& error) {
            std::fprintf(stderr, "doromi %s: %s\n", command.name, PrintableText(error.what(), true).c_str());
            return 2;
        } catch (const std::exception& error) {
            std::fprintf(stderr, "doromi %s: %s\n", command.name, PrintableText(error.what(), true).c_str());
            return 1;
        }
    }
    std::fprintf(stderr, "doromi: unknown command \"%s\" (see doromi --help)\n", PrintableText(name).c_str());
    return 2;
}
