// Login, logout and password change of the board, without any window: the
// main window turns each outcome into label texts, beeps, boxes and the
// panel/grid switch. Works on the station's mirror (reads) and the shared
// names table (password writes).
//
// The built-in administrator password opens "Admin" only while record 0 of
// the names table holds no stored password, i.e. on a fresh site. Once an
// administrator password is set, only that password opens it; a forgotten one
// is reset with `qbtool reset-admin-password DIR`, which needs write access
// to the data directory.
#pragma once

#include "admin/ConfigTable.h"
#include "board/Board.h"
#include "board/NamesTable.h"
#include "board/RemarkActions.h"
#include "board/RemarkLog.h"
#include "core/Station.h"

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qb::board {

struct LoginOutcome {
    enum class Result {
        NotFound,        // no record with exactly this name
        InvalidPassword, // password did not match
        Held,            // password right, but the first OK of a run stops here (option 12 off)
        LoggedIn,
    };
    Result result = Result::NotFound;
    std::string label2;           // status label text after the attempt
    std::string databaseNote;     // "Database q3.dbf OK|empty" when the mirror was empty first
    bool clearPassword = false;   // empty the password box
    bool beep = false;            // warning beep
    bool adminInfoBox = false;    // show LoginLogic::kAdminInfo in an information box
    std::vector<std::string> alert; // alert menu lines; empty for none
    bool taskbarButton = false;   // option 16: own taskbar button, bring forward
    admin::MenuEffects effects;   // menu items shown by the loaded options
    int messageCheckCounter = 0;  // start value of the new-message counter
    std::string writeStatus;      // option 3's In was not saved: why (status bar)
};

enum class ChangePasswordResult {
    Ok,
    NotLoggedIn,
    Mismatch,         // new and confirm differ: show kMismatch and ask again
    TooLong,          // more than Passwords::kMaxLength characters
    InvalidCharacter, // not storable in the table's code page
    RecordMissing,    // own record not found in the shared table
    OpenFailed,       // shared table could not be opened
    WriteFailed,      // lock or write failed; nothing stored
};

class LoginLogic {
public:
    static constexpr const char* kAdminName = "Admin";
    static constexpr const char* kAdminOwnName = "Admin Mode";
    static constexpr const char* kAdminInfo = "Admin mode is only for administrative action.\n"
                                              "For normal program operation, you must log on \n"
                                              "using your own name.";
    static constexpr const char* kPleaseEnter = " Please enter your name and password ";
    static constexpr const char* kPleaseLogOn = " Please log on ";
    static constexpr const char* kInvalidPassword = " Invalid password ";
    static constexpr const char* kMismatch = "The New and Confirm passwords do not match";

    // All references must outlive the object.
    LoginLogic(Station& station, Board& board, NamesTable& names, admin::ConfigTable& config, RemarkLog& log);

    // The OK button: name as chosen in LoginNames, password as typed (UTF-8).
    LoginOutcome login(const std::string& name, const std::string& typedPassword);
    // Back to the login panel state. Returns false when nobody was logged in
    // (then only the flags are reset). Saving settings is the caller's part
    // and must happen before this call.
    bool logout();

    // Change Password of the logged-in person (or the administrator's record
    // 0). On Ok the shared table holds the new encoded password, the board is
    // reloaded from a fresh copy and, for a person, the saved password follows.
    ChangePasswordResult changePassword(const std::string& newPassword, const std::string& confirmPassword);
    // User-facing text of a refusal ("" for Ok).
    static std::string changePasswordText(ChangePasswordResult r);

    // Entries of the LoginNames drop-down: "Admin" first, then the sorted
    // login names.
    std::vector<std::string> dropDownNames() const;

    bool loggedIn() const { return !m_notLoggedIn; }
    bool adminMode() const { return m_board.adminMode; }
    const std::string& savedPassword() const { return m_savedPassword; }
    void setSavedPassword(std::string pw) { m_savedPassword = std::move(pw); }
    // The own-name menu item: "(" + own name ("&" -> "+"); the administrator's
    // reads "(Admin Mode)"; " " when logged out.
    std::string ownNameCaption() const;

    // The own-remark changes this login uses for option 3 ("in" on start
    // up); the main window's In and Out go through the same object.
    RemarkActions& remarks() { return m_remarks; }

    static bool isAdminName(std::string_view name);
    // Whether typed equals the compiled-in administrator password (case ignored).
    static bool isBuiltInAdminPassword(std::string_view typed);

    // Called after the board was reloaded from a fresh copy because the
    // mirror was empty, so the names poll takes the file's new age.
    std::function<void()> onMirrorRefreshed;

private:
    bool openMirror(engine::TTzDbf& t);
    bool findName(engine::TTzDbf& t, const std::string& name);
    bool checkMessageFile(LoginOutcome& out);

    Station& m_station;
    Board& m_board;
    NamesTable& m_names;
    admin::ConfigTable& m_config;
    RemarkActions m_remarks;
    bool m_notLoggedIn = true;
    bool m_firstOkDone = false;
    std::string m_savedPassword;
};

} // namespace qb::board
