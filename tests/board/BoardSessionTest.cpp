// The board's session without a window: the order of the deferred start-up,
// the automatic-login rule and the mapping between the settings file and the
// board, on a real data directory made the way qbtool makes one.
#include "admin/ConfigTable.h"
#include "admin/NameAdmin.h"
#include "board/BoardSession.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/Profile.h"
#include "tests/support/TestSupport.h"
#include "tools/DataDirCommands.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

using namespace qb;
using board::BoardSession;

namespace {

// The window's side as a list of what it was asked to do; a login is run
// as the window runs it, with the name and password the start-up offered.
class StepRecorder : public BoardSession::StartupView {
public:
    explicit StepRecorder(BoardSession& session) : m_session(session) {}
    std::vector<std::string> steps;

    void showAlert(const std::vector<std::string>& lines) override { steps.push_back("alert " + lines.front()); }
    void busy(bool on) override { steps.push_back(on ? "busy" : "idle"); }
    void settingsRead(const board::LocalSettings&) override { steps.push_back("settings" + rows()); }
    void restoreView(const std::string& filter, const std::array<int, 5>&) override
    {
        steps.push_back("view " + filter);
    }
    void boardLoaded() override { steps.push_back("loaded" + rows()); }
    void offerName(const std::optional<std::string>& name) override
    {
        m_offered = name.value_or(m_offered);
        steps.push_back("offer " + name.value_or("-"));
    }
    void autoLogin() override
    {
        steps.push_back("login");
        m_session.login(m_offered, m_session.login().savedPassword());
    }
    void loginPanelStays() override { steps.push_back("panel"); }
    void minimise() override { steps.push_back("minimise"); }
    void startupFinished() override { steps.push_back("done"); }

private:
    std::string rows() const { return " rows=" + std::to_string(m_session.board().rowCount()); }
    BoardSession& m_session;
    std::string m_offered;
};

class SessionFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        data = root.path() + "/data";
        sys = root.path() + "/sys";
        ::mkdir(sys.c_str(), 0700);
        ::mkdir((root.path() + "/start").c_str(), 0700);
        std::ostringstream out, err;
        ASSERT_EQ(tools::initCommand({data}, out, err), 0) << err.str();
        station.dataDir = data;
        station.startDir = root.path() + "/start";
        station.pause = [](std::chrono::milliseconds) {};
        admin::AddedName added;
        ASSERT_EQ(admin::addName(station, "Anna", "Sales", &added), admin::AddNameResult::Ok);
        anna = added.boardIndex;
        // Anna logs in at start-up in one step (option 12).
        admin::ConfigTable cfg(engine, clock, data);
        admin::Options o;
        ASSERT_TRUE(cfg.load(anna, o, false, -1));
        o.set(admin::opt::kAutoLogin, true);
        ASSERT_EQ(cfg.save(anna, o, true), engine::CommitResult::Ok);
    }

    void writeSettings(const std::string& text)
    {
        std::ofstream(sys + "/qb3local.ini") << text;
    }

    BoardSession::RunInfo run(const std::string& workstationDir) const
    {
        return {workstationDir, root.path() + "/no-desktop", "tester", "/opt/qbp3", "qbp3 5 " + data};
    }

    test::TempDir root;
    std::string data;
    std::string sys;
    engine::Engine engine;
    platform::MemoryEventLog log;
    const platform::Clock& clock = platform::SystemClock::instance();
    board::Station station {engine, clock, log, "", ""};
    int anna = -1;
};

struct StartupCase {
    const char* name;
    const char* settings;     // qb3local.ini before the start
    bool settingsWritable;    // the workstation directory exists
    bool namesTable;          // qb3.dbf is there
    std::vector<std::string> steps;
};

class StartupOrder : public SessionFixture, public ::testing::WithParamInterface<StartupCase> {};

// Alerts come where the checks are, the settings before the first load, the
// automatic login only after the board is loaded and only for a last name
// other than Admin.
TEST_P(StartupOrder, StepsInTheOrderTheUserSeesThem)
{
    const StartupCase& c = GetParam();
    writeSettings(c.settings);
    if (!c.namesTable) {
        ASSERT_EQ(std::remove((data + "/qb3.dbf").c_str()), 0);
    }
    BoardSession session(station, run(c.settingsWritable ? sys : root.path() + "/missing"));
    session.created(4711);
    StepRecorder view(session);
    ASSERT_TRUE(session.runStartup(view));
    EXPECT_EQ(view.steps, c.steps);
    ASSERT_FALSE(log.entries.empty());
    EXPECT_EQ(log.entries.front().text.rfind("Started ", 0), 0u) << "the event log's first entry";
    const bool loggedIn = std::find(c.steps.begin(), c.steps.end(), "panel") == c.steps.end();
    EXPECT_EQ(session.login().loggedIn(), loggedIn);
    if (loggedIn) {
        EXPECT_EQ(session.board().ownIndex, anna);
    }

    // Every later activation finds it done.
    view.steps.clear();
    EXPECT_FALSE(session.runStartup(view));
    EXPECT_TRUE(view.steps.empty());
}

// Option 19 is the 19th character of the cached values.
const char* kMinimised = "[State]\noVal=fftftttftfttfftffttffff\n";

INSTANTIATE_TEST_SUITE_P(
    Session, StartupOrder,
    ::testing::Values(
        StartupCase {"LastUserLogsIn", "[State]\nName=Anna\nfilter=Sales\n", true, true,
                     {"busy", "settings rows=0", "view Sales", "loaded rows=2", "offer Anna", "login", "idle",
                      "done"}},
        StartupCase {"AdminIsOfferedNotLoggedIn", "[State]\nName=aDMIN\nfilter=~~\n", true, true,
                     {"busy", "settings rows=0", "view ", "loaded rows=2", "offer aDMIN", "panel", "idle", "done"}},
        StartupCase {"UserSectionNameWhenStateNameEmpty", "[State]\nName=\n[Statetester]\nName=Anna\n", true, true,
                     {"busy", "settings rows=0", "view ", "loaded rows=2", "offer Anna", "login", "idle", "done"}},
        StartupCase {"NobodyYetAndMinimised", kMinimised, true, true,
                     {"busy", "settings rows=0", "view ", "loaded rows=2", "offer ", "panel", "minimise", "idle",
                      "done"}},
        StartupCase {"SettingsNotWritableAlertFirst", "", false, true,
                     {"alert ERROR: Can not write to ", "busy", "settings rows=0", "view ", "loaded rows=2", "offer ",
                      "panel", "idle", "done"}},
        StartupCase {"NamesTableMissingAlertBeforeLoad", "[State]\nName=Anna\n", true, false,
                     {"busy", "settings rows=0", "alert ERROR: Database file qb3.dbf ", "view ", "loaded rows=0",
                      "offer Anna", "login", "panel", "idle", "done"}}),
    [](const ::testing::TestParamInfo<StartupCase>& info) { return std::string(info.param.name); });

// After an explicit logout the next start-up offers nothing and logs nobody
// in, or a saved password would undo every logout; the site's settings are
// those read at the first start.
TEST_F(SessionFixture, StartupAfterLogoutNeitherOffersNorLogsIn)
{
    writeSettings("[State]\nName=Anna\n[Site]\nlabel2=Rang\n");
    BoardSession session(station, run(sys));
    session.created(1);
    StepRecorder view(session);
    ASSERT_TRUE(session.runStartup(view));
    ASSERT_TRUE(session.login().loggedIn());
    EXPECT_EQ(session.settings().flagLabels[1], "Rang");

    platform::Profile(sys + "/qb3local.ini").writeString("Site", "label2", "Called");
    session.logout(true, BoardSession::WindowState {});
    EXPECT_FALSE(session.login().loggedIn());
    ASSERT_TRUE(session.startupPending());
    view.steps.clear();
    ASSERT_TRUE(session.runStartup(view));
    EXPECT_EQ(view.steps, (std::vector<std::string> {"busy", "settings rows=2", "view ", "loaded rows=2", "offer -",
                                                      "panel", "idle", "done"}));
    EXPECT_EQ(session.settings().flagLabels[1], "Rang");

    // A login from the panel counts as the start-up: none is left pending.
    session.login("Anna", "");
    EXPECT_TRUE(session.login().loggedIn());
    EXPECT_FALSE(session.startupPending());
}

TEST(SessionAutoLogin, OnlyANamedPersonAndNeverAfterALogout)
{
    struct Row {
        const char* lastName;
        bool afterLogout;
        bool logsIn;
    };
    for (const Row& r : {Row {"Anna", false, true}, Row {"Anna", true, false}, Row {"", false, false},
                         Row {"Admin", false, false}, Row {"ADMIN", false, false}, Row {"Admin Mode", false, true},
                         Row {" Admin", false, true}})
        EXPECT_EQ(BoardSession::autoLoginFor(r.lastName, r.afterLogout), r.logsIn)
            << '"' << r.lastName << "\" after logout " << r.afterLogout;
}

// Settings file -> board when read; board and window -> settings file when
// saved, each key where Windows stations look for it.
TEST_F(SessionFixture, SettingsMapToTheBoardAndBack)
{
    writeSettings("[SYS]\nmsgRate=60\n[State]\nName=\noVal=ttttttttttttttttttttttt\n"
                  "oGrn=fffffffffffffffffffffft\n[Statetester]\nName=Anna\n[Form]\nH=333\n");
    BoardSession session(station, run(sys));
    session.created(1);
    session.settings().load();
    session.applySettings();
    const board::Board& b = session.board();
    EXPECT_EQ(b.options.messageTicks, 60);
    EXPECT_EQ(b.lastLoginName, "Anna");
    for (int n : {1, 12, 23})
        EXPECT_TRUE(b.options[n]) << "option " << n;
    EXPECT_FALSE(b.options.right[1]);
    EXPECT_TRUE(b.options.right[23]);

    session.board().options.set(5, false);
    session.board().options.messageTicks = 120;
    BoardSession::WindowState w;
    w.filter = "Sales";
    w.fontSize = 14;
    w.columnWidths = {11, 22, 33, 44, 55};
    w.top = 40;
    w.left = 50;
    w.width = 700; // no height: the login panel shows, the board's height stays
    session.saveSettings(w);

    const platform::Profile::Snapshot f = platform::Profile(sys + "/qb3local.ini").snapshot();
    struct Key {
        const char* section;
        const char* key;
        std::string value;
    };
    for (const Key& k : {Key {"SYS", "msgRate", "120"}, Key {"State", "filter", "Sales"}, Key {"State", "font", "14"},
                         Key {"Header", "W0", "11"}, Key {"Header", "W4", "55"}, Key {"Form", "top", "40"},
                         Key {"Form", "left", "50"}, Key {"Form", "w", "700"}, Key {"Form", "H", "333"},
                         Key {"State", "oVal", "ttttftttttttttttttttttt"},
                         Key {"Statetester", "oVal", "ttttftttttttttttttttttt"},
                         Key {"State", "oGrn", "fffffffffffffffffffffft"}, Key {"State", "Name", ""},
                         Key {"Statetester", "Name", ""}, Key {"State", "arg", "qbp3 5 " + data}})
        EXPECT_EQ(f.readString(k.section, k.key, "(none)"), k.value) << k.section << "/" << k.key;
}

} // namespace
