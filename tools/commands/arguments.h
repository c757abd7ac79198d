#pragma once
// Reading a command's arguments: options as "--name value", "--name=value"
// or "-o value", anything else (and everything after "--") an operand.
// Each command lists its options in one table of CommandOption; the build
// test option_tables holds every table to the command's help page.
#include <cstdio>
#include <string>
#include <vector>

#include "tools/common/text_encoding.h"
#include "tools/common/usage_error.h"

class ArgumentCursor {
public:
    explicit ArgumentCursor(std::vector<std::string> arguments) : arguments_(std::move(arguments)) {}

    // Moves to the next argument; false when none is left.
    bool Next() {
        if (++index_ >= arguments_.size()) return false;
        const std::string& token = arguments_[index_];
        if (optionsEnded_ || token.size() < 2 || token[0] != '-') {
            isOption_ = false;
            return true;
        }
        if (token == "--") {
            optionsEnded_ = true;
            return Next();
        }
        isOption_ = true;
        size_t equals = token.find('=');
        hasInlineValue_ = token.compare(0, 2, "--") == 0 && equals != std::string::npos;
        name_ = hasInlineValue_ ? token.substr(0, equals) : token;
        inlineValue_ = hasInlineValue_ ? token.substr(equals + 1) : "";
        return true;
    }

    bool IsOption() const { return isOption_; }
    const std::string& Name() const { return name_; }
    const std::string& Operand() const { return arguments_[index_]; }

    // The current option's value: after "=" or the next argument.
    std::string Value() {
        if (hasInlineValue_) return inlineValue_;
        if (index_ + 1 >= arguments_.size()) throw UsageError(PrintableText(name_) + " needs a value");
        return arguments_[++index_];
    }

    // For options without a value: refuses "--flag=something".
    void NoValue() const {
        if (hasInlineValue_) throw UsageError(PrintableText(name_) + " takes no value");
    }

    [[noreturn]] void Unknown() const { throw UsageError("unknown option " + PrintableText(name_) + " (see --help)"); }

private:
    std::vector<std::string> arguments_;
    size_t index_ = (size_t)-1;
    bool optionsEnded_ = false;
    bool isOption_ = false;
    bool hasInlineValue_ = false;
    std::string name_, inlineValue_;
};

// One option of a command: its names, whether it takes a value, and what
// it sets in the command's request.
template <typename Request>
struct CommandOption {
    const char* name;       // "--output"
    const char* shortName;  // "-o", or nullptr
    bool takesValue;
    // Sets what the option stands for; `name` is the option's long name,
    // `value` is empty for an option without one. Throws UsageError for a
    // value it refuses.
    void (*apply)(Request& request, const std::string& name, const std::string& value);
    // Refusals made before the value is read (an option given twice), or
    // nullptr.
    void (*checkBefore)(const Request& request) = nullptr;
};

// Reads `arguments` into `request` through `options`; every operand goes
// to `operand`. False when -h or --help asked for the help instead, which
// is then printed (`help`, the command's page); UsageError for an unknown
// option or a misused one.
template <typename Request, size_t count>
bool ParseOptions(const std::vector<std::string>& arguments, const CommandOption<Request> (&options)[count],
                  Request& request, void (*operand)(Request& request, const std::string& operand), const char* help) {
    ArgumentCursor cursor(arguments);
    while (cursor.Next()) {
        if (!cursor.IsOption()) {
            operand(request, cursor.Operand());
            continue;
        }
        const std::string& name = cursor.Name();
        if (name == "--help" || name == "-h") {
            std::fputs(help, stdout);
            return false;
        }
        const CommandOption<Request>* found = nullptr;
        for (const CommandOption<Request>& option : options)
            if (name == option.name || (option.shortName && name == option.shortName)) found = &option;
        if (!found) cursor.Unknown();
        if (found->checkBefore) found->checkBefore(request);
        std::string value;
        if (found->takesValue)
            value = cursor.Value();
        else
            cursor.NoValue();
        found->apply(request, found->name, value);
    }
    return true;
}
