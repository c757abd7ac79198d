#pragma once
// A mistake in the command line; the message says which. Thrown by the
// option parsing and by every check of an option's value, wherever it is
// made; main prints it and exits with status 2.
#include <stdexcept>

struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
