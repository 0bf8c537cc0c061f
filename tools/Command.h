// Command dispatch of qbtool. Each command group lives in its own source file
// and exposes plain functions; tools/main.cpp lists them in one table, so a
// new command is one function plus one table row.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace qb::tools {

using CommandArgs = std::vector<std::string>;
// args are the words after the command name. Returns the exit status.
using CommandFn = int (*)(const CommandArgs& args, std::ostream& out, std::ostream& err);

namespace exitcode {
constexpr int kOk = 0;
constexpr int kFailed = 1; // problems found, or a file could not be used
constexpr int kUsage = 2;  // unknown command or bad arguments
} // namespace exitcode

struct Command {
    std::string_view name;
    std::string_view synopsis; // arguments, e.g. "FILE [--json]"
    std::string_view summary;  // one line
    CommandFn run = nullptr;
};

// Runs the command named by argv[1]. No command, "help", "--help" and "-h"
// print the usage (exit 0); an unknown command prints it to err (exit 2).
int dispatch(std::span<const Command> commands, const std::vector<std::string>& argv, std::ostream& out,
             std::ostream& err);
void printUsage(std::span<const Command> commands, std::ostream& os);

} // namespace qb::tools
