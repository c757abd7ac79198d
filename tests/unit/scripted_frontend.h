#pragma once
// The unit tests' front end: error boxes are recorded, and also written to
// standard error so that death tests can see what a dying process showed.
#include <string>
#include <vector>

struct ShownError {
    std::string text;
    std::string caption;
};

std::vector<ShownError>& ShownErrors();

// What ShowError writes to standard error for a text and a caption: both in
// hexadecimal, so that code page 949 bytes survive a regular expression.
std::string ShowErrorTrace(const std::string& text, const std::string& caption);
