// qbtool commands that make and change a data directory: init, add-name,
// set-remark.
#pragma once

#include "tools/Command.h"

#include <chrono>
#include <string>
#include <vector>

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

// Shared by the commands that change a data directory.
// How long the commands wait for a lock another station holds. A station
// gives up within a fraction of a second and the user tries again; a script
// cannot, so it waits longer by default.
constexpr double kDefaultWaitSeconds = 10;
// A short, jittered pause between tries for a lock another station holds.
void pauseBeforeRetry();
// Takes "--wait SECONDS" out of args; false (with a message) for a bad value.
bool takeWaitOption(std::vector<std::string>& args, double& seconds, const char* command, std::ostream& err);
std::chrono::steady_clock::time_point deadlineAfter(double seconds);
// Why a table file must not be opened (a FIFO, a directory, too large) or,
// when written, why it must not be written (a symbolic link); empty when fine.
std::string tableFileProblem(const std::string& name, bool written);

int initCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
int addNameCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);
int setRemarkCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

} // namespace qb::tools
