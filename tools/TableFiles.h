// Finding and opening the files qbtool works on, safely against what an
// unlucky or hostile data directory may hold: FIFOs and devices (an open
// would block or never end), directories named like tables, and symbolic
// links that lead out of the data directory.
#pragma once

#include "platform/PosixFile.h"

#include <string>
#include <string_view>
#include <vector>

namespace qb::tools {

// Error codes of openRegular beyond the platform's (errno values, so they
// cannot collide with the Windows-style codes).
namespace fileerr {
constexpr int kIsDirectory = 21;   // EISDIR
constexpr int kNotRegular = 22;    // EINVAL
constexpr int kSymbolicLink = 40;  // ELOOP
constexpr int kReplaced = 116;     // ESTALE: the name changed to another file while opening
} // namespace fileerr

// Opens an existing regular file through the platform layer (share modes
// and locks as every station uses them). The name is first opened without
// blocking and checked: a FIFO, device or directory is refused before the
// real open could block on it, and the real open must reach the same file.
// With noFollow a symbolic link in the last component is refused as well.
// Returns 0 or an error code (the platform's or fileerr::).
int openRegular(const std::string& path, platform::PosixFile& file, platform::Access access,
                platform::Share share, bool noFollow);
// The same on any file system of the file seam: on the real one with the
// checks above; other file systems (in memory) hold nothing but regular files.
int openRegular(platform::FileSystem& fs, const std::string& path, platform::FileHandle& file,
                platform::Access access, platform::Share share, bool noFollow);
// Whether path names a regular file on fs (a link to one counts).
bool isRegularFile(platform::FileSystem& fs, const std::string& path);

// Describes an error code of openRegular or the platform layer in words.
std::string describeFileError(int code);

struct TableFile {
    std::string path;
    std::string problem; // non-empty: found, but not a table file that can be used
};

// Every *.dbf (any case of the extension) in dir and its subfolders, sorted
// by path. Symbolic links are never followed; a link, FIFO, device or folder
// named like a table, and a folder that cannot be read, come back with a
// problem instead of being skipped. When dir itself cannot be listed the
// result is one entry for dir with the reason.
std::vector<TableFile> listTables(const std::string& dir);

// Text safe to print on a terminal: control characters (C0, DEL, C1) and
// bytes that are not UTF-8 are shown as \xNN.
std::string shown(std::string_view text);

// True when text is well-formed UTF-8 (no overlong forms, no surrogates).
bool isValidUtf8(std::string_view text);
// True when text holds a C0 or C1 control character or DEL. Requires valid UTF-8.
bool hasControlCharacter(std::string_view utf8);

} // namespace qb::tools
