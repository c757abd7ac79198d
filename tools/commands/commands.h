#pragma once
// The doromi tool's commands. Each takes the arguments after its name,
// prints its results on stdout and returns the exit status; failures are
// thrown as exceptions whose message main prints on stderr.
#include <string>
#include <vector>

int BuildCommand(const std::vector<std::string>& arguments);
int InfoCommand(const std::vector<std::string>& arguments);
int ExtractCommand(const std::vector<std::string>& arguments);
