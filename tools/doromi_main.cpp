// doromi: makes and inspects self-extracting files. Dispatches to the
// command named by the first argument.
#include <cstdio>
#include <cstring>
#include <exception>
#include <string>
#include <vector>

#include "tools/arguments.h"
#include "tools/commands.h"
#include "tools/text_encoding.h"

namespace {

const char kUsage[] =
    "doromi (도로미): makes and inspects self-extracting ZIP files for Windows.\n"
    "\n"
    "Usage: doromi COMMAND [options] ...\n"
    "\n"
    "Commands:\n"
    "  build   make a self-extracting file from files and folders or a .zip\n"
    "  info    show a self-extracting file's settings, size check and members\n"
    "  extract extract a self-extracting file's members here, as the stub would\n"
    "\n"
    "`doromi COMMAND --help` describes each command's options.\n";

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
        std::fputs(kUsage, stderr);
        return 2;
    }
    std::string name = argv[1];
    if (name == "--help" || name == "-h" || name == "help") {
        std::fputs(kUsage, stdout);
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
    std::fprintf(stderr, "doromi: unknown command \"%s\" (see doromi --help)\n", name.c_str());
    return 2;
}
