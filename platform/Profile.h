// Private profile (ini) files with the semantics Windows stations use, so a
// file written here reads the same there and the other way round.
//
// Rules:
//   - Section and key names are matched without regard to ASCII case, with
//     blanks around them ignored.
//   - First match wins: only the first section of a name is consulted, and in
//     it the first line with the key.
//   - Values are returned as stored apart from the blanks around them: no
//     unquoting, no escapes.
//   - A write changes only the line of its key (or inserts one); every other
//     line, comments and garbage included, stays in place byte for byte.
//   - Lines end in LF or CRLF as the owner chooses; on reading both are taken.
// Not QSettings: it escapes, percent-encodes and reorders.
#pragma once

#include "platform/Files.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb::platform {

namespace profile_detail {
// A section header of a file read into lines: its line and where its name
// sits in that line, so that a lookup passes over headers only.
struct SectionHead {
    std::size_t line;
    std::size_t nameAt;
    std::size_t nameLen;
};
} // namespace profile_detail

class Profile {
public:
    enum class LineEnd { Lf, CrLf };

    struct Options {
        // color.ini is shared with Windows stations and gets CRLF.
        LineEnd lineEnd = LineEnd::Lf;
        // A private file (the local settings with the saved password) is
        // created with mode 0600, any other with 0666 less the umask. An
        // existing file keeps its mode, owner and group: an administrator
        // who opened a shared workstation directory to several users meant it.
        bool privateFile = false;
    };

    // Error codes returned by writes besides the oserr codes of PosixFile.h.
    static constexpr int kInvalidParameter = 87; // CR, LF or NUL in a value; bad section/key name
    static constexpr int kFileTooLarge = 223;    // existing file larger than kMaxFileSize
    // Files larger than this are not read (reads give the defaults) and not
    // rewritten (writes fail), so a runaway file never costs the whole memory
    // and is never truncated by us.
    static constexpr std::size_t kMaxFileSize = 8u << 20;

    explicit Profile(std::string path);
    // fs: where the file lives (the real files unless a test hands over
    // another file system of the seam); it must outlive the profile.
    Profile(std::string path, Options options, FileSystem& fs = FileSystem::posix());

    const std::string& path() const { return m_path; }
    const Options& options() const { return m_options; }

    // The file as it was read once: many values looked up without opening it
    // again (a program reading its whole settings at start-up). It sees no
    // later change; the writes below never use one and always read afresh.
    class Snapshot {
    public:
        std::optional<std::string> value(std::string_view section, std::string_view key) const;
        std::string readString(std::string_view section, std::string_view key, std::string_view def) const;
        int readInt(std::string_view section, std::string_view key, int def) const;
        bool readBool(std::string_view section, std::string_view key, bool def) const;

    private:
        friend class Profile;
        std::vector<std::string> m_lines;
        std::vector<profile_detail::SectionHead> m_heads;
    };
    // A missing, unreadable or oversized file gives an empty snapshot.
    Snapshot snapshot() const;

    // Each read parses the file as it is now, as the Windows profile calls do.
    // A missing, unreadable or oversized file reads as empty.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;
    std::string readString(std::string_view section, std::string_view key, std::string_view def) const;
    // Decimal integer with optional sign, or hexadecimal with a "$" or "0x"
    // prefix. Anything else, or a value beyond int, gives def.
    int readInt(std::string_view section, std::string_view key, int def) const;
    // "1"/"0" (what Windows stations write), any other integer (non-zero is
    // true), or true/false, yes/no, t/f, y/n in any case. Anything else gives def.
    bool readBool(std::string_view section, std::string_view key, bool def) const;

    // Sets one key, creating the section or key when missing. Each call reads
    // the file afresh, changes the one line and replaces the file, so writes
    // by another station between two calls survive. Returns 0 or an error
    // code (oserr codes, kInvalidParameter, kFileTooLarge); on an error the
    // file is left as it was.
    int writeString(std::string_view section, std::string_view key, std::string_view value);
    int writeInt(std::string_view section, std::string_view key, long long value);
    // Writes "1" or "0" like Windows stations do.
    int writeBool(std::string_view section, std::string_view key, bool value);

    // Removes a section: its header and every line up to the next section
    // (the first section of that name, as a read would find it). A missing
    // section or file is no error. Returns 0 or an error code as the writes.
    int eraseSection(std::string_view section);

    // Several keys in one read-modify-write; used to save many settings
    // without rewriting the file for each. Stops at the first invalid entry
    // without touching the file.
    struct Entry {
        std::string section;
        std::string key;
        std::string value;
    };
    int writeAll(const std::vector<Entry>& entries);

    // Helpers for the values themselves, usable without a file.
    static std::optional<long long> parseInt(std::string_view text);
    static std::optional<bool> parseBool(std::string_view text);

private:
    // Reads the file into lines without their line ends. Returns 0, or an
    // error code when the file exists but cannot be read or is too large;
    // a missing file gives 0 and no lines.
    int load(std::vector<std::string>& lines, bool* existed = nullptr) const;
    int store(const std::vector<std::string>& lines, bool existed) const;

    std::string m_path;
    Options m_options;
    FileSystem* m_fs;
};

} // namespace qb::platform
