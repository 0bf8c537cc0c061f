// qbtool commands that make and change a data directory: init, add-name,
// set-remark.
#pragma once

#include "tools/Command.h"

#include <string>

namespace qb::tools {

// Exit statuses of set-remark beyond the common ones.
namespace exitcode {
constexpr int kUnknownName = 3;
constexpr int kRecordLocked = 4;
constexpr int kNotWritable = 5;
} // namespace exitcode

// Why the names table at path must not be written through the engine: its
// header disagrees with its field descriptors, or a field the board writes
// is missing or of another type or length. Empty when it is sound.
std::string namesTableProblem(const std::string& path);

int initCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
int addNameCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
int setRemarkCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

} // namespace qb::tools
