// qbstart's logic: refresh the workstation's private copy of the board
// program from the data directory and start it there. Plain C++ and POSIX;
// links nothing else of the project.
#pragma once

#include <functional>
#include <string>
#include <sys/types.h>

namespace qbstart {

// What the launcher needs from its surroundings, so tests can tick the waits
// instead of sleeping and read the error text instead of a box.
struct Hooks {
    std::function<void(int ms)> sleep;                  // every wait goes through here
    std::function<void(const std::string& text)> error; // the one "Error" box
    std::function<void(const std::string& line)> note;  // diagnostics (stderr)
};

// The private directory the copy lives in: $XDG_CACHE_HOME/quellboard/program
// (an absolute XDG_CACHE_HOME only), else ~/.cache/quellboard/program. The
// board keeps its local mirror beside a program started from there.
std::string copyDirectory();

// Makes dir (and missing parents, mode 0700) and checks that it is a real
// directory owned by this user; its mode is narrowed to 0700. False when it
// cannot be made or is not safe to run a program from (a link, another
// owner's directory), with the reason in *why.
bool preparePrivateDirectory(const std::string& dir, std::string* why);

// The stored program's name preferred on this machine, "Q-linux-x86_64.x"
// style (lower-case system name and machine).
std::string platformProgramName();

// True when the file open at fd holds a program this machine runs: an ELF
// image of this program's class, byte order and machine, or a "#!" script.
bool runnableHere(int fd);

// Copies the regular file open at srcFd to dest: written to a temporary file
// beside dest, given the source's modification time and mode 0700, synced
// and renamed over dest. On any failure (a short read, a full disk) the
// temporary is removed, dest is left as it was, and false is returned.
bool copyBeside(int srcFd, const std::string& dest, std::string* why);

// The whole run: args are the command-line arguments after the program name
// (only the first is read). Returns the pid of the started board, or -1 when
// none was started.
pid_t run(int argc, const char* const* args, const Hooks& hooks);

} // namespace qbstart
