// Login, logout, password change and the start-up checks, on a real data
// directory made the way qbtool makes one.
#include "admin/ConfigTable.h"
#include "admin/NameAdmin.h"
#include "board/LoginLogic.h"
#include "board/NamesTable.h"
#include "board/Passwords.h"
#include "board/RemarkLog.h"
#include "board/StartupChecks.h"
#include "engine/RecordCommit.h"
#include "engine/TTzDbf.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "tests/support/TestSupport.h"
#include "tools/DataDirCommands.h"
#include "tools/ResetAdminPasswordCommand.h"
#include "tests/support/FakeClock.h"

#include <gtest/gtest.h>

#include <sstream>
#include <sys/stat.h>

using namespace qb;
using board::LoginLogic;
using board::LoginOutcome;
using R = board::LoginOutcome::Result;

namespace {

// One station on a fresh data directory with a few people.
class LoginFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        dataDir = root.path() + "/data";
        startDir = root.path() + "/start";
        station.dataDir = dataDir;
        station.startDir = startDir;
        ::mkdir(startDir.c_str(), 0700);
        std::ostringstream out, err;
        ASSERT_EQ(tools::initCommand({dataDir}, out, err), 0) << err.str();
        station.pause = [](std::chrono::milliseconds) {};
        // "Joanne" comes first so a search for "Ann" meets her before Ann.
        for (const char* name : {"Joanne", "Ann", "Bob"}) {
            admin::AddedName added;
            ASSERT_EQ(admin::addName(station, name, "Sales", &added), admin::AddNameResult::Ok);
            idents[name] = added.boardIndex;
        }
        names.load(true);
    }

    // Writes a password straight into record boardIndex + 1 of the shared table.
    void storePassword(int boardIndex, const std::string& password)
    {
        engine::TTzDbf t("TestPw", engine);
        t.CreateIfNotFound = false;
        t.setDbfFileName(dataDir + "/qb3.dbf");
        ASSERT_TRUE(t.setActive(true));
        t.Go(boardIndex + 1);
        std::string stored;
        if (!password.empty()) {
            ASSERT_EQ(board::Passwords::encode(password, t.codePage(), stored), board::Passwords::Error::None);
        }
        t.SetCField("password", stored);
        ASSERT_EQ(engine::commitRecord(t, true, clock), engine::CommitResult::Ok);
        t.setActive(false);
        names.load(true); // the mirror follows, as after a poll
    }

    std::string storedPassword(int boardIndex)
    {
        engine::TTzDbf t("TestPwR", engine);
        t.CreateIfNotFound = false;
        t.setDbfFileName(dataDir + "/qb3.dbf");
        EXPECT_TRUE(t.setActive(true));
        t.Go(boardIndex + 1);
        std::string s = t.GetCField("password");
        t.setActive(false);
        return s;
    }

    void setOption(int boardIndex, int option, bool on)
    {
        admin::ConfigTable cfg(engine, clock, dataDir);
        admin::Options o;
        cfg.load(boardIndex, o, false, -1);
        o.set(option, on);
        ASSERT_EQ(cfg.save(boardIndex, o, true), engine::CommitResult::Ok);
    }

    // Logs in past the first-OK stop.
    LoginOutcome loginFully(const std::string& name, const std::string& pw)
    {
        LoginOutcome first = login.login(name, pw);
        return first.result == R::Held ? login.login(name, pw) : first;
    }

    test::TempDir root;
    std::string dataDir, startDir;
    engine::Engine engine;
    test::FakeClock clock {platform::fromLocal({2026, 3, 2, 9, 30, 0, 0, 1})};
    platform::MemoryEventLog log;
    board::Station station {engine, clock, log, "", ""};
    board::Board board;
    board::RemarkLog remarkLog {station, board};
    board::NamesTable names {station, board, remarkLog};
    admin::ConfigTable config {engine, clock, ""};
    LoginLogic login {station, board, names, config, remarkLog};
    std::map<std::string, int> idents;

    LoginFixture() : config(engine, clock, root.path() + "/data") {}
};

} // namespace

// ---- finding the person ------------------------------------------------------

TEST_F(LoginFixture, UnknownNameIsReportedAndNobodyLogsIn)
{
    LoginOutcome out = login.login("Nobody", "x");
    EXPECT_EQ(out.result, R::NotFound);
    EXPECT_EQ(out.label2, " Nobody not found ");
    EXPECT_TRUE(out.clearPassword);
    EXPECT_FALSE(login.loggedIn());
    EXPECT_EQ(board.ownIndex, -1);
}

TEST_F(LoginFixture, EmptyNameIsReportedAsName)
{
    EXPECT_EQ(login.login("", "").label2, " Name not found ");
}

TEST_F(LoginFixture, NameMustMatchTheStoredNameExactly)
{
    EXPECT_EQ(login.login("ann", "").result, R::NotFound);
    EXPECT_EQ(login.login("An", "").result, R::NotFound);
}

TEST_F(LoginFixture, NameInsideALongerNameStillFindsItsOwner)
{
    LoginOutcome out = loginFully("Ann", "");
    ASSERT_EQ(out.result, R::LoggedIn);
    EXPECT_EQ(board.ownIndex, idents["Ann"]);
    EXPECT_EQ(board.ownName, "Ann");
}

TEST_F(LoginFixture, RemovedPersonCannotLogIn)
{
    ASSERT_TRUE(admin::removeName(station, idents["Bob"]));
    names.load(true);
    EXPECT_EQ(login.login("Bob", "").result, R::NotFound);
}

// ---- passwords ---------------------------------------------------------------

TEST_F(LoginFixture, WrongPasswordBeepsAndSaysInvalid)
{
    storePassword(idents["Bob"], "secret");
    LoginOutcome out = login.login("Bob", "guess");
    EXPECT_EQ(out.result, R::InvalidPassword);
    EXPECT_EQ(out.label2, " Invalid password ");
    EXPECT_TRUE(out.beep);
    EXPECT_TRUE(out.clearPassword);
    EXPECT_FALSE(login.loggedIn());
}

TEST_F(LoginFixture, PasswordComparesWithoutRegardToCase)
{
    storePassword(idents["Bob"], "Secret");
    EXPECT_EQ(loginFully("Bob", "sECRET").result, R::LoggedIn);
    EXPECT_EQ(login.savedPassword(), "sECRET");
}

TEST_F(LoginFixture, EmptyStoredPasswordLogsInWithEmptyBox)
{
    EXPECT_EQ(loginFully("Bob", "").result, R::LoggedIn);
    EXPECT_EQ(board.ownIndex, idents["Bob"]);
    EXPECT_EQ(board.lastLoginName, "Bob");
}

TEST_F(LoginFixture, FirstOkOfARunStopsWithoutAutomaticLogin)
{
    setOption(idents["Bob"], admin::opt::kAutoLogin, false);
    LoginOutcome first = login.login("Bob", "");
    EXPECT_EQ(first.result, R::Held);
    EXPECT_FALSE(login.loggedIn());
    EXPECT_EQ(board.ownIndex, -1);
    LoginOutcome second = login.login("Bob", "");
    EXPECT_EQ(second.result, R::LoggedIn);
    EXPECT_TRUE(login.loggedIn());
    EXPECT_EQ(second.label2, "  ");
}

TEST_F(LoginFixture, FirstOkCompletesWithAutomaticLogin)
{
    setOption(idents["Bob"], admin::opt::kAutoLogin, true);
    EXPECT_EQ(login.login("Bob", "").result, R::LoggedIn);
}

TEST_F(LoginFixture, AfterLoginThePollComesSoonAndMessagesAreCheckedEarly)
{
    setOption(idents["Bob"], admin::opt::kAutoLogin, true);
    LoginOutcome out = login.login("Bob", "");
    ASSERT_EQ(out.result, R::LoggedIn);
    EXPECT_EQ(board.pollCounter, board.options.refreshTicks - 10);
    const int interval = board.options.messageTicks;
    EXPECT_EQ(out.messageCheckCounter, std::max(interval * 5 / 6, interval - 20));
}

TEST_F(LoginFixture, InAtStartWritesTheInRemarkToTheSharedTable)
{
    setOption(idents["Bob"], admin::opt::kInAtStart, true);
    storePassword(idents["Bob"], "");
    {
        // Bob starts Out.
        engine::TTzDbf t("TestOut", engine);
        t.CreateIfNotFound = false;
        t.setDbfFileName(dataDir + "/qb3.dbf");
        ASSERT_TRUE(t.setActive(true));
        t.Go(idents["Bob"] + 1);
        t.setText("remark", "Out");
        ASSERT_EQ(engine::commitRecord(t, true, clock), engine::CommitResult::Ok);
        t.setActive(false);
    }
    ASSERT_EQ(loginFully("Bob", "").result, R::LoggedIn);
    EXPECT_EQ(board.remarks[static_cast<std::size_t>(idents["Bob"])], "In");
    EXPECT_EQ(board.ownStatus, board::remark::kIn);
}

TEST_F(LoginFixture, DamagedMessageFileIsReportedButLoginCompletes)
{
    const std::string file = "msg" + std::to_string(idents["Bob"]) + ".dbf";
    test::writeFile(dataDir + "/" + file, "abc");
    LoginOutcome out = loginFully("Bob", "");
    EXPECT_EQ(out.result, R::LoggedIn);
    EXPECT_EQ(out.alert, (std::vector<std::string> {"ERROR: Message file " + file, "is damaged.", ""}));
    EXPECT_EQ(out.label2, file + " Database file not found ");
    EXPECT_TRUE(log.contains("Message file " + file + " damaged"));
}

// ---- administrator -------------------------------------------------------------

TEST_F(LoginFixture, AdminInAnyCaseOpensTheAdministratorLogin)
{
    for (const char* name : {"Admin", "ADMIN", "aDmIn"}) {
        login.logout();
        LoginOutcome out = loginFully(name, "");
        ASSERT_EQ(out.result, R::LoggedIn) << name;
        EXPECT_TRUE(board.adminMode);
        EXPECT_EQ(board.ownIndex, 0);
        EXPECT_EQ(board.ownName, "Admin Mode");
        EXPECT_TRUE(out.adminInfoBox);
        EXPECT_EQ(out.label2, " Please note: ");
        EXPECT_TRUE(board.options.right[5] && board.options.right[23]) << "all rights";
        EXPECT_EQ(login.ownNameCaption(), "(Admin Mode)");
    }
}

TEST_F(LoginFixture, BuiltInAdminPasswordOpensOnlyAFreshSite)
{
    EXPECT_EQ(loginFully("Admin", "TAFELWAECHTER").result, R::LoggedIn);
    login.logout();
    storePassword(0, "boss");
    EXPECT_EQ(login.login("Admin", "Tafelwaechter").result, R::InvalidPassword);
    EXPECT_EQ(loginFully("Admin", "BOSS").result, R::LoggedIn);
}

TEST_F(LoginFixture, BuiltInAdminPasswordDoesNotOpenAPerson)
{
    EXPECT_EQ(login.login("Bob", "Tafelwaechter").result, R::InvalidPassword);
}

TEST_F(LoginFixture, FailedAdminLoginLeavesNoAdministratorState)
{
    storePassword(0, "boss");
    EXPECT_EQ(login.login("Admin", "guess").result, R::InvalidPassword);
    EXPECT_FALSE(board.adminMode);
    EXPECT_EQ(board.ownIndex, -1);
}

TEST_F(LoginFixture, ResetToolReopensAForgottenAdministratorPassword)
{
    storePassword(0, "boss");
    std::ostringstream out, err;
    platform::MemoryEventLog systemLog;
    std::istringstream no("n\n"), yes("y\n");
    EXPECT_EQ(tools::resetAdminPassword({dataDir}, no, out, err, systemLog), tools::exitcode::kFailed);
    EXPECT_EQ(board::Passwords::decode(storedPassword(0), platform::CodePage::Cp437), "boss") << "not confirmed";
    EXPECT_EQ(tools::resetAdminPassword({dataDir}, yes, out, err, systemLog), tools::exitcode::kOk) << err.str();
    EXPECT_TRUE(systemLog.contains("Administrator password of " + dataDir + " cleared with qbtool by "));
    names.load(true);
    EXPECT_EQ(loginFully("Admin", "").result, R::LoggedIn);
    EXPECT_EQ(board::Passwords::decode(storedPassword(idents["Bob"]), platform::CodePage::Cp437), "");
}

TEST_F(LoginFixture, ResetToolRefusesWhatItCannotUse)
{
    std::ostringstream out, err;
    EXPECT_EQ(tools::resetAdminPasswordCommand({}, out, err), tools::exitcode::kUsage);
    EXPECT_EQ(tools::resetAdminPasswordCommand({root.path() + "/nowhere", "--yes"}, out, err), tools::exitcode::kFailed);
    storePassword(0, "boss");
    ::chmod((dataDir + "/qb3.dbf").c_str(), 0444);
    if (::geteuid() != 0) { // root writes anyway
        EXPECT_EQ(tools::resetAdminPasswordCommand({dataDir, "--yes"}, out, err), tools::exitcode::kFailed);
    }
    ::chmod((dataDir + "/qb3.dbf").c_str(), 0644);
}

// ---- logout ------------------------------------------------------------------

TEST_F(LoginFixture, LogoutReturnsToTheLoggedOutState)
{
    ASSERT_EQ(loginFully("Admin", "").result, R::LoggedIn);
    EXPECT_TRUE(login.logout());
    EXPECT_FALSE(login.loggedIn());
    EXPECT_FALSE(board.adminMode);
    EXPECT_EQ(board.ownIndex, -1);
    EXPECT_EQ(login.ownNameCaption(), " ");
    EXPECT_FALSE(login.logout()) << "nobody was logged in any more";
}

TEST_F(LoginFixture, OwnNameCaptionReplacesAmpersands)
{
    admin::AddedName added;
    ASSERT_EQ(admin::addName(station, "Smith & Co", "", &added), admin::AddNameResult::Ok);
    names.load(true);
    ASSERT_EQ(loginFully("Smith & Co", "").result, R::LoggedIn);
    EXPECT_EQ(login.ownNameCaption(), "(Smith + Co");
}

TEST_F(LoginFixture, DropDownOffersAdminFirstThenSortedNames)
{
    EXPECT_EQ(login.dropDownNames(), (std::vector<std::string> {"Admin", "Ann", "Bob", "Joanne"}));
}

// ---- change password -------------------------------------------------------------

TEST_F(LoginFixture, ChangedPasswordOpensTheNextLogin)
{
    ASSERT_EQ(loginFully("Bob", "").result, R::LoggedIn);
    EXPECT_EQ(login.changePassword("n3w", "n3w"), board::ChangePasswordResult::Ok);
    EXPECT_EQ(login.savedPassword(), "n3w");
    login.logout();
    EXPECT_EQ(login.login("Bob", "").result, R::InvalidPassword);
    EXPECT_EQ(login.login("Bob", "N3W").result, R::LoggedIn);
}

TEST_F(LoginFixture, ChangePasswordRefusesMismatchWithItsText)
{
    ASSERT_EQ(loginFully("Bob", "").result, R::LoggedIn);
    auto r = login.changePassword("abc", "abd");
    EXPECT_EQ(r, board::ChangePasswordResult::Mismatch);
    EXPECT_EQ(LoginLogic::changePasswordText(r), "The New and Confirm passwords do not match");
    EXPECT_EQ(board::Passwords::decode(storedPassword(idents["Bob"]), platform::CodePage::Cp437), "");
}

TEST_F(LoginFixture, NineCharacterPasswordIsRefusedAndNobodyIsLockedOut)
{
    storePassword(idents["Bob"], "old");
    ASSERT_EQ(loginFully("Bob", "old").result, R::LoggedIn);
    auto r = login.changePassword("ninechars", "ninechars");
    EXPECT_EQ(r, board::ChangePasswordResult::TooLong);
    EXPECT_NE(LoginLogic::changePasswordText(r).find("at most 8 characters"), std::string::npos);
    EXPECT_EQ(login.changePassword("eightchr", "eightchr"), board::ChangePasswordResult::Ok);
    login.logout();
    EXPECT_EQ(login.login("Bob", "eightchr").result, R::LoggedIn);
}

TEST_F(LoginFixture, ChangePasswordNeedsALogin)
{
    EXPECT_EQ(login.changePassword("a", "a"), board::ChangePasswordResult::NotLoggedIn);
}

TEST_F(LoginFixture, AdministratorChangesRecordZero)
{
    ASSERT_EQ(loginFully("Admin", "").result, R::LoggedIn);
    EXPECT_EQ(login.changePassword("boss", "boss"), board::ChangePasswordResult::Ok);
    EXPECT_EQ(board::Passwords::decode(storedPassword(0), platform::CodePage::Cp437), "boss");
    EXPECT_EQ(board::Passwords::decode(storedPassword(idents["Bob"]), platform::CodePage::Cp437), "");
    EXPECT_EQ(login.savedPassword(), "") << "the administrator's password is never saved";
}

// ---- start-up checks -------------------------------------------------------------

TEST(StartupChecks, ProgramNameAndSingleInstanceRule)
{
    EXPECT_EQ(board::StartupChecks::programFileName("/opt/QB/Qbp3"), "qbp3");
    EXPECT_EQ(board::StartupChecks::programFileName("MQBP3"), "mqbp3");
    EXPECT_TRUE(board::StartupChecks::skipsSingleInstance("mqbp3"));
    EXPECT_FALSE(board::StartupChecks::skipsSingleInstance("qbp3"));
    EXPECT_FALSE(board::StartupChecks::skipsSingleInstance(""));
}

TEST(StartupChecks, SecondArgumentIsTheDataDirectory)
{
    EXPECT_EQ(board::StartupChecks::dataDirArgument({"qbp3"}), "");
    EXPECT_EQ(board::StartupChecks::dataDirArgument({"qbp3", "5"}), "");
    EXPECT_EQ(board::StartupChecks::dataDirArgument({"qbp3", "5", "/srv/board"}), "/srv/board");
}

TEST(StartupChecks, UnwritableSettingsGiveTheAlertAndALogEntry)
{
    platform::MemoryEventLog log;
    EXPECT_TRUE(board::StartupChecks::settingsCheck(true, log).empty());
    EXPECT_TRUE(log.entries.empty());
    EXPECT_EQ(board::StartupChecks::settingsCheck(false, log),
              (std::vector<std::string> {"ERROR: Can not write to ", "file Qb3local.ini in the ", "Windows directory. "}));
    ASSERT_EQ(log.entries.size(), 1u);
    EXPECT_TRUE(log.entries[0].isError);
    EXPECT_EQ(log.entries[0].text, "Error can not write to Qb3local.ini");
}

TEST(StartupChecks, MissingNamesTableNamesTheDirectory)
{
    test::TempDir dir;
    platform::MemoryEventLog log;
    EXPECT_EQ(board::StartupChecks::namesTableCheck(dir.path(), log),
              (std::vector<std::string> {"ERROR: Database file qb3.dbf ", "is missing from server ", dir.path() + "/"}));
    EXPECT_TRUE(log.contains("qb3.dbf missing from " + dir.path() + "/"));
    test::writeFile(dir.file("QB3.DBF"), "x"); // names match without regard to case
    platform::MemoryEventLog quiet;
    EXPECT_TRUE(board::StartupChecks::namesTableCheck(dir.path(), quiet).empty());
    EXPECT_TRUE(quiet.entries.empty());
}

TEST(StartupChecks, StartedEntryCarriesDateAndTime)
{
    test::FakeClock clock {platform::fromLocal({2026, 3, 2, 9, 5, 7, 0, 1})};
    EXPECT_EQ(board::StartupChecks::startedText(clock), "Started 03/02/2026 09:05:07");
}
