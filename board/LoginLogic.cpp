#include "LoginLogic.h"

#include "board/Passwords.h"
#include "core/TableNames.h"
#include "engine/RecordCommit.h"
#include "messages/MessageStore.h"
#include "platform/CodePage.h"
#include "platform/FileOps.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <sys/stat.h>

namespace qb::board {

namespace {

// Letters only, so it can be typed on any keyboard layout; see the header for
// when it is accepted.
constexpr std::string_view kBuiltInAdminPassword = "Tafelwaechter";
static_assert(kBuiltInAdminPassword.size() == 13);

std::string trimRight(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}


} // namespace

LoginLogic::LoginLogic(Station& station, Board& board, NamesTable& names, admin::ConfigTable& config, RemarkLog& log)
    : m_station(station), m_board(board), m_names(names), m_config(config),
      m_remarks(station, board, names, log)
{
}

bool LoginLogic::isAdminName(std::string_view name) { return platform::equalsIgnoringCase(name, kAdminName); }

bool LoginLogic::isBuiltInAdminPassword(std::string_view typed)
{
    return Passwords::equalIgnoringCase(typed, kBuiltInAdminPassword);
}

bool LoginLogic::openMirror(engine::TTzDbf& t)
{
    t.CreateIfNotFound = false;
    t.HideDeletedRecs = true; // a removed person must not log in
    t.DbfFields = NamesTable::fieldList();
    t.setDbfFileName(m_station.mirrorPath());
    m_station.engine.clearError();
    if (t.setActive(true))
        return true;
    std::uint16_t saved = m_station.engine.openModeOverride;
    m_station.engine.openModeOverride = engine::openmode::kReadOnlyDenyNone;
    m_station.engine.clearError();
    bool ok = t.setActive(true);
    m_station.engine.openModeOverride = saved;
    return ok;
}

// The engine's search matches substrings ("Ann" is found inside "Joanne"),
// so a hit on a longer name goes on searching instead of refusing the person
// whose name is a part of someone else's.
bool LoginLogic::findName(engine::TTzDbf& t, const std::string& name)
{
    const int nameField = t.FieldNo("name");
    const std::string key = platform::fromUtf8(name, t.codePage());
    bool fromTop = true;
    for (std::int64_t guard = t.RecCount() + 1; guard > 0; --guard) {
        int field = nameField;
        if (!t.Search(key, field, fromTop) || field == 0)
            return false;
        if (t.getText("name") == name)
            return true;
        fromTop = false;
    }
    return false;
}

LoginOutcome LoginLogic::login(const std::string& name, const std::string& typedPassword)
{
    LoginOutcome out;
    m_board.ownIndex = -1;

    engine::TTzDbf mirror("QBLogin", m_station.engine);
    bool open = openMirror(mirror);
    if (!open || mirror.RecCount() < 1) {
        mirror.setActive(false);
        m_names.load(true);
        if (onMirrorRefreshed)
            onMirrorRefreshed();
        open = openMirror(mirror);
        std::string file = core::namesMirrorName();
        out.databaseNote = "Database " + file + (open && mirror.RecCount() > 0 ? " OK" : " empty");
        out.label2 = out.databaseNote;
    }
    if (open)
        mirror.GoTop();

    const bool admin = isAdminName(name);
    if (!admin) {
        if (!open || !findName(mirror, name)) {
            out.result = LoginOutcome::Result::NotFound;
            out.clearPassword = true;
            out.label2 = " " + (name.empty() ? std::string("Name") : name) + " not found ";
            return out;
        }
    } else if (!open) {
        out.result = LoginOutcome::Result::NotFound;
        out.clearPassword = true;
        out.label2 = " " + name + " not found ";
        return out;
    }

    // The password is checked before any administrator state or rights are
    // taken, so a failed attempt leaves nothing of them behind.
    const std::string stored = mirror.GetCField("password");
    bool ok = Passwords::matches(typedPassword, stored, mirror.codePage());
    if (!ok && admin && trimRight(stored).empty())
        ok = isBuiltInAdminPassword(typedPassword);
    if (!ok) {
        mirror.setActive(false);
        out.result = LoginOutcome::Result::InvalidPassword;
        out.clearPassword = true;
        out.beep = true;
        out.label2 = kInvalidPassword;
        m_board.adminMode = false;
        m_names.load(true);
        return out;
    }

    const int ident = static_cast<int>(mirror.GetLongField("ident"));
    const std::string recordName = mirror.getText("name");
    const int status = static_cast<int>(mirror.GetLongField("msgcnt"));
    mirror.setActive(false);

    m_board.adminMode = admin;
    if (admin) {
        m_board.ownName = kAdminOwnName;
        m_savedPassword.clear();
        m_board.ownIndex = 0;
        out.label2 = " Please note: ";
        out.adminInfoBox = true;
    } else {
        m_board.ownIndex = ident;
        m_board.ownName = recordName;
        m_board.ownStatus = status;
        m_board.lastLoginName = recordName;
        m_savedPassword = typedPassword;
    }

    if (m_board.displayOrder.empty())
        m_names.load(true);
    m_config.load(m_board.ownIndex, m_board.options, admin, m_board.ownIndex, &out.effects);
    if (admin)
        m_board.options.right.fill(true);
    out.taskbarButton = m_board.options[admin::opt::kTaskbarButton];

    if (!m_firstOkDone && !m_board.options[admin::opt::kAutoLogin]) {
        // The first OK of a run only checks; the next one completes.
        m_firstOkDone = true;
        out.result = LoginOutcome::Result::Held;
        m_board.ownIndex = -1;
        m_board.adminMode = false;
        m_board.ownName.clear();
        return out;
    }
    m_firstOkDone = true;

    const int interval = m_board.options.messageTicks;
    out.messageCheckCounter = std::max(interval * 5 / 6, interval - 20);
    if (!admin)
        out.label2 = "  ";
    checkMessageFile(out);

    m_notLoggedIn = false;
    out.result = LoginOutcome::Result::LoggedIn;
    if (!admin && m_board.options[admin::opt::kInAtStart])
        out.writeStatus = RemarkActions::notSavedText(m_remarks.setIn(), m_board.inText);
    else if (admin)
        m_names.load(false);
    m_board.pollCounter = m_board.options.refreshTicks - 10;
    return out;
}

bool LoginLogic::checkMessageFile(LoginOutcome& out)
{
    const std::optional<messages::MailboxDamage> damage =
        messages::mailboxDamageAtLogin(m_station.dataDir, m_board.ownIndex);
    if (!damage)
        return true;
    m_station.log.error(damage->logText);
    out.label2 = damage->statusText;
    out.alert = damage->alert;
    out.alert.push_back(""); // the alert panel's third line stays empty at login
    return false;
}

bool LoginLogic::logout()
{
    const bool wasLoggedIn = !m_notLoggedIn;
    m_board.adminMode = false;
    m_notLoggedIn = true;
    m_board.ownName.clear();
    m_board.ownIndex = -1;
    m_board.pollCounter = kPollParked;
    m_names.load(true);
    return wasLoggedIn;
}

std::string LoginLogic::ownNameCaption() const
{
    if (m_notLoggedIn)
        return " ";
    if (m_board.adminMode)
        return "(" + m_board.ownName + ")";
    std::string name = m_board.ownName;
    std::replace(name.begin(), name.end(), '&', '+');
    return "(" + name;
}

std::vector<std::string> LoginLogic::dropDownNames() const
{
    std::vector<std::string> names {kAdminName};
    for (const auto& entry : m_board.loginNames)
        names.push_back(entry.first);
    return names;
}

ChangePasswordResult LoginLogic::changePassword(const std::string& newPassword, const std::string& confirmPassword)
{
    if (m_notLoggedIn || m_board.ownIndex < 0)
        return ChangePasswordResult::NotLoggedIn;
    if (newPassword != confirmPassword)
        return ChangePasswordResult::Mismatch;
    switch (Passwords::check(newPassword)) {
    case Passwords::Error::TooLong: return ChangePasswordResult::TooLong;
    case Passwords::Error::InvalidCharacter: return ChangePasswordResult::InvalidCharacter;
    case Passwords::Error::None: break;
    }

    engine::TTzDbf table("QBPasswd", m_station.engine);
    table.CreateIfNotFound = false;
    table.HideDeletedRecs = true;
    table.DbfFields = NamesTable::fieldList();
    table.setDbfFileName(m_station.dataPath(NamesTable::kFileName));
    bool open = false;
    for (int attempt = 0; attempt < 2 && !open; ++attempt) {
        if (attempt > 0)
            m_station.pause(std::chrono::milliseconds(30));
        table.setActive(false);
        m_station.engine.clearError();
        open = table.setActive(true) && m_station.engine.lastError() == 0;
    }
    if (!open)
        return ChangePasswordResult::OpenFailed;

    // A substring hit ("1" inside "  11") is checked against the number itself.
    const std::string key = std::to_string(m_board.ownIndex);
    const int identField = table.FieldNo("ident");
    bool found = false;
    bool fromTop = true;
    table.GoTop();
    for (std::int64_t guard = table.RecCount() + 1; guard > 0 && !found; --guard) {
        int field = identField;
        if (!table.Search(key, field, fromTop) || field == 0)
            break;
        found = table.GetLongField("ident") == m_board.ownIndex;
        fromTop = false;
    }
    if (!found) {
        table.setActive(false);
        return ChangePasswordResult::RecordMissing;
    }

    std::string stored;
    Passwords::encode(newPassword, table.codePage(), stored);
    table.SetCField("password", stored);
    engine::CommitResult r = engine::commitRecord(table, true, m_station.clock);
    table.setActive(false);
    if (r != engine::CommitResult::Ok)
        return ChangePasswordResult::WriteFailed;
    m_names.load(true);
    if (!m_board.adminMode)
        m_savedPassword = newPassword;
    return ChangePasswordResult::Ok;
}

std::string LoginLogic::changePasswordText(ChangePasswordResult r)
{
    switch (r) {
    case ChangePasswordResult::Ok: return {};
    case ChangePasswordResult::NotLoggedIn: return "Please log on before changing your password.";
    case ChangePasswordResult::Mismatch: return kMismatch;
    case ChangePasswordResult::TooLong:
        return "A password can have at most 8 characters. Please choose a shorter one.";
    case ChangePasswordResult::InvalidCharacter:
        return "The password contains a character that cannot be stored. Please choose another one.";
    case ChangePasswordResult::RecordMissing: return "Your name was not found in the names table; nothing was changed.";
    case ChangePasswordResult::OpenFailed:
        return "The names table on the server could not be opened; the password was not changed.";
    case ChangePasswordResult::WriteFailed:
        return "The names table on the server could not be written; the password was not changed.";
    }
    return {};
}

} // namespace qb::board
