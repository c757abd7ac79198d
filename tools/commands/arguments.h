#pragma once
// Reading a command's arguments: options as "--name value", "--name=value"
// or "-o value", anything else (and everything after "--") an operand.
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
