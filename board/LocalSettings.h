// The workstation's own settings: window geometry, column widths, font size,
// view filter, background colours, cached options, and per operating-system
// user the last login name, saved password and quick keys. Kept in
// "qb3local.ini" in the workstation directory, or on the desktop when that
// directory cannot be written. Plain data plus load and save; no Qt.
//
// Layout of the file (sections and keys are those Windows stations use):
//   [SYS]        test, H, msgRate, refresh
//   [State]      filter, SortWay, font, SortFld, oGrn, oVal, Name, type,
//                names, TZBias, Ident, path, arg, msg, version, ini, When
//   [State+user] Name, PW, K1, K2, oVal      (blanks of the user name -> "+")
//   [Form]       top, left, w, H
//   [Header]     W0 .. W4
//   [BKcolor]    0 .. 10
//   [Position]   isIconic, AppIconic
//   [Site]       label1 .. label7, MsgColor, EIChg (set by the administrator)
#pragma once

#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/Files.h"
#include "platform/Profile.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace qb::board {

// A window rectangle as stored: top and left corner, width and height.
struct WindowGeometry {
    int top = 20;
    int left = 20;
    int width = 610;
    int height = 150;
    bool operator==(const WindowGeometry&) const = default;
};

class LocalSettings {
public:
    static constexpr const char* kFileName = "qb3local.ini";
    static constexpr const char* kColorFileName = "color.ini";
    static constexpr int kOptionCount = 23;
    static constexpr int kColourCount = 11;
    static constexpr int kColumnCount = 5;
    static constexpr int kFlagCount = 7;
    static constexpr std::size_t kMaxFilter = 120;
    static constexpr std::size_t kMaxName = 40;
    static constexpr std::size_t kMaxPassword = 40;
    static constexpr const char* kDefaultRights = "tttttttfttttttttfftttfttttttttt";
    static constexpr const char* kDefaultValues = "fftftttftfttfftfftffffftttttttt";
    static constexpr const char* kOwnGroupFilter = "~~";
    static constexpr const char* kWriteFailure = "Error: Qb3local.ini write failure";

    // Masks of the saved-password scrambling, odd and even positions
    // (counting from 1; position 1 is left as it is). Both are below 0x20, so
    // a byte keeps its block of 32: a printable byte stays printable and can
    // never turn into CR, LF, NUL or any other control character. "=" needs
    // no care inside a value (only the first "=" of a line splits), and the
    // saved value is written in double quotes, so blanks a mask produces at
    // either end survive the trimming of values.
    static constexpr unsigned char kOddMask = 0x05;
    static constexpr unsigned char kEvenMask = 0x0A;

    // What the running program knows at save time beyond the fields below.
    struct SaveContext {
        int refreshTicks = 0;        // names poll interval
        int recordCount = 0;         // record count last used
        int ownIdent = -1;           // own board index
        std::string ownName;         // saved under the user section's Name
        std::string ownGroup;        // written instead of the own-group filter "~~"
        std::string programPath;
        std::string commandLine;
        std::string messageTablePath; // full path of the own message table
        std::string version = "3.0";
        std::string buildDate;        // empty: the compile date of this file
        bool isIconic = false;        // main window minimised
        bool appIconic = false;       // application or main window minimised
    };

    // ---- settings, as read by load() or set by the program ----
    std::string filter;          // view filter, at most kMaxFilter characters
    int msgRate = 240;           // new-message check interval, 500 ms ticks
    bool sortWay = true;         // kept and written back
    int font = 10;               // grid and list font size
    int sortFld = 1;             // kept and written back
    std::array<bool, kOptionCount> optionRights {};
    std::array<bool, kOptionCount> optionValues {};
    std::string password;        // saved password in clear, at most kMaxPassword
    std::string quickKey1;
    std::string quickKey2;
    WindowGeometry geometry;     // width >= 26, height >= 50 after load
    std::array<int, kColumnCount> columnWidths {140, 170, 77, 190, 74};
    std::string lastName;        // last login name, at most kMaxName
    std::array<int, kColourCount> colours {}; // Windows colour values 0x00BBGGRR
    bool appIconic = false;

    // ---- site settings (never written except EIChg, written back as read) ----
    std::array<std::string, kFlagCount> flagLabels; // empty keeps the built-in caption
    bool msgColor = false;       // out-of-office colouring: value "y"
    bool eiChg = false;          // everyone may change employee information
    std::optional<std::string> eiChgText; // raw value, absent when the key is

    // workstationDir: where the settings file belongs; desktopDir: the
    // fallback; userName: the operating-system user (for the user section);
    // fs: where those directories are (the real files unless a test hands
    // over another file system of the seam; it must outlive the settings).
    LocalSettings(std::string workstationDir, std::string desktopDir, std::string userName,
                  platform::FileSystem& fs = platform::FileSystem::posix());

    // The writability test: writes [SYS] test = "123" and [SYS] H = handle
    // into the file in the workstation directory and reads test back. When
    // that does not give "123" the settings move to the desktop folder for
    // the rest of the run (and the test write is repeated there).
    // Returns writable(): whether the file now in use takes writes.
    bool testWritable(long long windowHandle);

    // Reads every key of the settings table; missing or unreadable values
    // give the defaults. Does not touch the site settings. The file is read
    // once for all keys.
    void load();
    // Reads the [Site] section (once, at start-up).
    void loadSite();
    // load() and loadSite() from one reading of the file.
    void loadWithSite();
    // For each background colour n whose [BKlock] n is true in
    // dataDir/color.ini, takes [BKcolor] n of that file (default: ours).
    void applyColourLocks(const std::string& dataDir);

    // Writes every key in the order of the save list, in one rewrite of the
    // file. Logs kWriteFailure first when the file is known not to be
    // writable, and logs it as well when the write fails. Returns 0 or the
    // error code of the write.
    int save(const SaveContext& ctx, const platform::Clock& clock, platform::EventLog& log);

    // The stored geometry made safe for a screen: top reset to 20 when below
    // 10 or above screenHeight - 90, left reset to 20 when below 10 or above
    // screenWidth - 50, width at least 26, height at least 50.
    WindowGeometry geometryFor(int screenWidth, int screenHeight) const;

    const std::string& path() const { return m_path; }
    bool writable() const { return m_writable; }
    // The test write into the workstation directory itself failed.
    bool workstationFailed() const { return m_workstationFailed; }
    bool usingDesktop() const { return m_usingDesktop; }
    const std::string& userSection() const { return m_userSection; }

    // "State" + user name, every blank replaced by "+" (and "]", CR, LF,
    // NUL, which no section name can hold).
    static std::string userSectionFor(std::string_view userName);
    // Scrambles or unscrambles (the same operation) a UTF-8 password; runs
    // on its Windows-1252 bytes. Characters outside Windows-1252 pass as "?".
    static std::string scramble(std::string_view utf8);
    // Parses a cached option string; shorter than kOptionCount gives the
    // parse of fallback. Character i is true when it is "t" or "T".
    static std::array<bool, kOptionCount> parseOptions(std::string_view text, std::string_view fallback);
    static std::string optionText(const std::array<bool, kOptionCount>& options);
    // The default background colours 0 to 10.
    static std::array<int, kColourCount> defaultColours();

private:
    void loadFrom(const platform::Profile::Snapshot& file);
    void loadSiteFrom(const platform::Profile::Snapshot& file);

    platform::FileSystem* m_fs;
    std::string m_workstationDir;
    std::string m_desktopDir;
    std::string m_userSection;
    std::string m_path;
    bool m_writable = true;
    bool m_workstationFailed = false;
    bool m_usingDesktop = false;
};

} // namespace qb::board
