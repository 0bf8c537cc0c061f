// Well-known directories and the user name: what Windows stations take from
// the Windows directory, the shell's desktop folder and the account name.
// Every function reads the environment when called, so a test can point it
// elsewhere with setenv. Paths come back without a trailing slash.
#pragma once

#include <string>

namespace qb::platform {

class Paths {
public:
    static constexpr const char* kAppFolder = "quellboard";

    // The workstation directory (where Windows stations keep qb3local.ini and
    // qbpmsg.wav): $QUELLBOARD_SYSDIR when set and not empty, else
    // $XDG_CONFIG_HOME/quellboard, else ~/.config/quellboard. Created (with
    // parents, mode 0700 for the part we make) when missing; a failure to
    // create it is not reported here: the settings writability test finds it.
    static std::string workstationDir();

    // The desktop folder: XDG_DESKTOP_DIR of $XDG_CONFIG_HOME/user-dirs.dirs
    // (default ~/.config/user-dirs.dirs) when it names an existing directory,
    // else the home directory.
    static std::string desktopDir();

    // $HOME when set and not empty, else the home directory of the account,
    // else "/".
    static std::string homeDir();

    // $XDG_CACHE_HOME/quellboard, else ~/.cache/quellboard. Not created.
    static std::string cacheDir();

    // $TMPDIR when set and not empty, else /tmp.
    static std::string tempDir();

    // Login name of the process owner (getpwuid); $USER when the account has
    // no entry; the numeric uid as a last resort. Never empty.
    static std::string userName();

    // Full path of the running program (/proc/self/exe); empty when unknown.
    static std::string programPath();
    // Directory of the program file; "." when unknown.
    static std::string programDir();

    // The launcher's per-user copy directory: cacheDir() + "/program", the
    // directory qbstart copies the board program into.
    static std::string launcherCopyDir();

    // Where the local mirror of the names table lives: the program directory
    // when the program runs from launcherCopyDir(), else cacheDir() (created
    // when missing, mode 0700).
    static std::string startDir();
};

} // namespace qb::platform
