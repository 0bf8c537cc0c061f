// Name administration where stations meet: real processes adding at once, a
// second station watching the board while a person is removed and another
// added, and the edits of a person's record.
#include "admin/ConfigTable.h"
#include "admin/NameAdmin.h"
#include "board/Board.h"
#include "board/NamesTable.h"
#include "board/PollTimer.h"
#include "board/RemarkLog.h"
#include "engine/Engine.h"
#include "engine/TTzDbf.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/FileOps.h"
#include "tests/support/TestSupport.h"
#include "tools/DataDirCommands.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <dirent.h>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

using namespace qb;
using Ms = std::chrono::milliseconds;

namespace {

std::int64_t monotonicMs()
{
    return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

struct ToolStation {
    engine::Engine engine;
    platform::MemoryEventLog log;
    board::Station station;
    explicit ToolStation(const std::string& dir) : station(engine, platform::SystemClock::instance(), log, dir, dir)
    {
        station.pause = [](Ms d) { std::this_thread::sleep_for(d); };
    }
};

// Byte-level soundness of a table file, read without the engine: header
// count equal to the records the size holds, the end-of-file byte, and a
// deletion flag of ' ' or '*' on every record. Empty when sound.
std::string formatProblems(const std::string& path)
{
    const std::string b = test::readFile(path);
    if (b.size() < 32)
        return "shorter than a header";
    auto u16 = [&](std::size_t o) { return static_cast<std::uint32_t>(static_cast<unsigned char>(b[o]) | static_cast<unsigned char>(b[o + 1]) << 8); };
    const std::uint32_t count = u16(4) | u16(6) << 16;
    const std::uint32_t header = u16(8), recLen = u16(10);
    if (b[0] != 0x03 || header < 33 || recLen < 2 || b[header - 1] != '\r')
        return "header bytes";
    if (b.size() != header + std::size_t(count) * recLen + 1)
        return "size " + std::to_string(b.size()) + " for " + std::to_string(count) + " records";
    if (b.back() != 0x1A)
        return "no end-of-file byte";
    for (std::uint32_t r = 0; r < count; ++r) {
        char flag = b[header + std::size_t(r) * recLen];
        if (flag != ' ' && flag != '*')
            return "record " + std::to_string(r + 1) + " flag";
    }
    return {};
}

std::string qbtool(const std::string& args, int* rc)
{
    std::string out;
    *rc = test::runCommand(std::string(QB_QBTOOL) + " " + args + " 2>&1", &out);
    return out;
}

} // namespace

// One administrator's station adding people one after the other, each with
// the options record the window would give him.
QB_CHILD_ROLE(addPeople)
{
    ToolStation ts(args[0]);
    admin::OptionsRecord options;
    options.options.refreshTicks = 600;
    for (int i = 0; i < std::stoi(args[2]); ++i) {
        admin::NewPerson p {args[1] + std::to_string(i), "Group " + args[1], options};
        auto r = admin::addPerson(ts.station, p, [] {
            std::this_thread::sleep_for(Ms(3));
            return true;
        });
        if (r.result != admin::AddPersonResult::Ok) {
            std::fprintf(stderr, "%s: %s\n", p.name.c_str(), r.problem.c_str());
            return 1;
        }
    }
    return 0;
}

TEST(NameAdministration, TwoStationsAddingFiftyEachGetHundredIndexes)
{
    test::TempDir tmp;
    const std::string dir = tmp.file("data");
    std::ostringstream o, e;
    ASSERT_EQ(tools::initCommand({dir}, o, e), 0) << e.str();
    {
        // Two removed positions the adders reuse.
        ToolStation ts(dir);
        for (const char* n : {"Gone1", "Stays", "Gone2"})
            ASSERT_EQ(admin::addPerson(ts.station, {n, "", {}}, nullptr).result, admin::AddPersonResult::Ok);
        ASSERT_TRUE(admin::removeName(ts.station, 1));
        ASSERT_TRUE(admin::removeName(ts.station, 3));
    }
    int a = test::startChild("addPeople", {dir, "A", "50"});
    int b = test::startChild("addPeople", {dir, "B", "50"});
    EXPECT_EQ(test::waitChild(a), 0);
    EXPECT_EQ(test::waitChild(b), 0);

    engine::Engine eng;
    engine::TTzDbf t("Check", eng);
    t.CreateIfNotFound = false;
    t.setDbfFileName(dir + "/qb3.dbf");
    ASSERT_TRUE(t.setActive(true));
    EXPECT_EQ(t.RecCount(), 1 + 1 + 100) << "the administrator, Stays and 100 new people";
    std::set<std::string> names;
    std::set<int> newIndexes;
    for (std::int64_t r = 1; r <= t.RecCount(); ++r) {
        t.Go(r);
        EXPECT_FALSE(t.Deleted()) << "record " << r;
        EXPECT_EQ(t.GetLongField("ident"), r - 1) << "record " << r;
        const std::string name = t.getText("name");
        names.insert(name);
        if (r > 1 && (name[0] == 'A' || name[0] == 'B'))
            newIndexes.insert(static_cast<int>(r - 1));
    }
    t.setActive(false);
    EXPECT_EQ(names.size(), 102u);
    EXPECT_EQ(newIndexes.size(), 100u);
    EXPECT_TRUE(newIndexes.count(1) && newIndexes.count(3)) << "removed positions were reused";

    // Every new person has his options record.
    for (int index : newIndexes) {
        admin::Options opts;
        admin::ConfigTable config(eng, platform::SystemClock::instance(), dir);
        ASSERT_TRUE(config.load(index, opts, false, index));
        EXPECT_EQ(opts.refreshTicks, 600) << "index " << index;
    }
    EXPECT_EQ(formatProblems(dir + "/qb3.dbf"), "");
    EXPECT_EQ(formatProblems(dir + "/qb3cfg3.dbf"), "");
    int rc;
    std::string out = qbtool("check " + dir, &rc);
    EXPECT_EQ(rc, 0) << out;
}

// A second station with the board open: loads, then runs the real names
// poll every 500 ms with the shortest refresh interval offered ("4 seconds")
// and writes "<monotonic ms> <name at index>" after every reload.
QB_CHILD_ROLE(watchBoard)
{
    const std::string dir = args[0], start = args[1], report = args[2];
    const std::size_t index = std::stoul(args[3]);
    engine::Engine e;
    platform::MemoryEventLog log;
    board::Station st(e, platform::SystemClock::instance(), log, dir, start);
    board::Board b;
    b.options.refreshTicks = 8;
    b.ownIndex = 2;
    board::RemarkLog remarkLog(st, b);
    board::NamesTable names(st, b, remarkLog);
    auto write = [&] {
        std::ofstream(report, std::ios::app) << monotonicMs() << " "
                                             << (index < b.names.size() ? b.names[index] : std::string("?")) << "\n";
    };
    board::PollTimer poll(st, b, names, remarkLog, {nullptr, nullptr, nullptr, write, nullptr});
    if (!names.load(true))
        return 1;
    poll.resetStamps();
    write();
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    auto next = std::chrono::steady_clock::now();
    while (!platform::fileExists(report + ".stop") && std::chrono::steady_clock::now() < end) {
        next += Ms(500);
        std::this_thread::sleep_until(next);
        poll.tick(true);
        if (b.pollCounter == 0) // this tick looked at the shared table
            std::ofstream(report, std::ios::app) << monotonicMs() << " (poll)\n";
    }
    return 0;
}

namespace {

// Waits for the watcher's first line showing `name`; its time stamp, or -1.
std::int64_t seenAt(const std::string& report, const std::string& name, Ms timeout)
{
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        std::istringstream in(test::readFile(report));
        std::string line;
        while (std::getline(in, line)) {
            auto sp = line.find(' ');
            if (sp != std::string::npos && line.substr(sp + 1) == name)
                return std::stoll(line.substr(0, sp));
        }
        std::this_thread::sleep_for(Ms(20));
    }
    return -1;
}

std::vector<std::string> filesIn(const std::string& dir)
{
    std::vector<std::string> out;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                out.emplace_back(e->d_name);
        ::closedir(d);
    }
    return out;
}

} // namespace

// Removing a person and adding another: the newcomer gets the removed
// person's board index with an empty mailbox, the old planner and card are
// kept aside rather than handed to him, and a station watching the board
// sees each change within one poll interval.
TEST(NameAdministration, RemoveThenAddIsSeenByAnotherStation)
{
    test::TempDir tmp;
    const std::string dir = tmp.file("data");
    std::ostringstream o, e;
    ASSERT_EQ(tools::initCommand({dir, "--demo"}, o, e), 0) << e.str();
    ToolStation ts(dir);
    const int index = 1; // the demo's first person, with a planner week and a card
    const std::string leaving = admin::personName(ts.station, index);
    ASSERT_FALSE(leaving.empty());
    ASSERT_TRUE(platform::fileExists(dir + "/s/sh001.dbf"));
    test::writeFile(dir + "/msg1.dbf", test::readFile(dir + "/qb3cfg2.dbf")); // any table as a mailbox
    auto cardsOf = [&](int ident) {
        engine::TTzDbf info("Cards", ts.engine);
        info.CreateIfNotFound = false;
        info.setDbfFileName(dir + "/moreinfo.dbf");
        int n = 0;
        if (info.setActive(true)) {
            for (info.GoTop(); !info.dEOF(); info.Skip(1))
                n += info.GetLongField("ident") == ident;
            info.setActive(false);
        }
        return n;
    };
    {
        engine::TTzDbf info("Card", ts.engine);
        info.CreateIfNotFound = false;
        info.setDbfFileName(dir + "/moreinfo.dbf");
        ASSERT_TRUE(info.setActive(true));
        info.ClearRecord();
        info.SetLongField("ident", index);
        info.setText("name", leaving);
        info.setText("phone", "555-0101");
        ASSERT_TRUE(info.ALock());
        info.Append();
        info.Flush();
        info.UnLock();
        info.setActive(false);
    }
    ASSERT_EQ(cardsOf(index), 1);

    const std::string report = tmp.file("report");
    ::mkdir(tmp.file("watcher").c_str(), 0700);
    int watcher = test::startChild("watchBoard", {dir, tmp.file("watcher"), report, std::to_string(index)});
    ASSERT_GT(seenAt(report, leaving, Ms(10000)), 0) << "the watcher loaded the board";
    ASSERT_GT(seenAt(report, "(poll)", Ms(15000)), 0) << "and polls at its interval";
    // One poll interval: 8 ticks of 500 ms, plus the tick that notices.
    const std::int64_t interval = 9 * 500, slack = 1500;

    ASSERT_TRUE(admin::removeName(ts.station, index));
    const std::int64_t removedAt = monotonicMs();
    std::int64_t seen = seenAt(report, board::kDeletedName, Ms(15000));
    ASSERT_GT(seen, 0) << test::readFile(report);
    EXPECT_LE(seen - removedAt, interval + slack);
    EXPECT_FALSE(platform::fileExists(dir + "/msg1.dbf"));

    admin::OptionsRecord startWith;
    startWith.options.set(admin::opt::kLogRemarks, true);
    auto added = admin::addPerson(ts.station, {"Newcomer", "Sales", startWith}, nullptr);
    const std::int64_t addedAt = monotonicMs();
    ASSERT_EQ(added.result, admin::AddPersonResult::Ok) << added.problem;
    EXPECT_EQ(added.added.boardIndex, index);
    EXPECT_TRUE(added.added.reused);
    seen = seenAt(report, "Newcomer", Ms(15000));
    test::writeFile(report + ".stop", "");
    EXPECT_EQ(test::waitChild(watcher), 0);
    ASSERT_GT(seen, 0) << test::readFile(report);
    EXPECT_LE(seen - addedAt, interval + slack);

    EXPECT_FALSE(platform::fileExists(dir + "/msg1.dbf")) << "an empty mailbox";
    EXPECT_FALSE(platform::fileExists(dir + "/s/sh001.dbf")) << "the newcomer gets no planner of his predecessor";
    int keptPlanners = 0;
    for (const std::string& f : filesIn(dir + "/s"))
        keptPlanners += f.rfind("sh001-removed-", 0) == 0;
    EXPECT_EQ(keptPlanners, 1) << "the old planner is kept aside";
    EXPECT_EQ(cardsOf(index), 0) << "nor his card";
    EXPECT_EQ(cardsOf(-index), 1) << "which is kept aside";
    EXPECT_EQ(added.added.setAside.size(), 2u);
    admin::Options opts;
    ASSERT_TRUE(admin::ConfigTable(ts.engine, ts.station.clock, dir).load(index, opts, false, index));
    EXPECT_TRUE(opts[admin::opt::kLogRemarks]) << "the options shown in the window, not the predecessor's";
}

// Edits of one person's record: each refusal leaves the record as it was;
// a change keeps the columns another station wrote in between.
TEST(NameAdministration, RenameAndPasswordReset)
{
    test::TempDir tmp;
    const std::string dir = tmp.file("data");
    std::ostringstream o, e;
    ASSERT_EQ(tools::initCommand({dir, "--demo"}, o, e), 0) << e.str();
    ToolStation ts(dir);
    const std::string first = admin::personName(ts.station, 1), second = admin::personName(ts.station, 2);
    std::string folded = second;
    for (char& c : folded)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    struct Case {
        std::string newName;
        admin::NameEditResult result;
        const char* says;
    };
    const Case cases[] = {
        {folded, admin::NameEditResult::Duplicate, "is on the board already"},
        {"admin", admin::NameEditResult::Invalid, "administrator's record"},
        {"  ", admin::NameEditResult::Invalid, "1 to 40 characters"},
        {"Eve\nAdams", admin::NameEditResult::Invalid, "control character"},
        {std::string(41, 'x'), admin::NameEditResult::Invalid, "has 41 characters"},
    };
    const std::string before = test::readFile(dir + "/qb3.dbf");
    for (const Case& c : cases) {
        std::string problem;
        EXPECT_EQ(admin::renameName(ts.station, 1, c.newName, &problem), c.result) << c.newName;
        EXPECT_NE(problem.find(c.says), std::string::npos) << problem;
    }
    EXPECT_EQ(test::readFile(dir + "/qb3.dbf"), before);
    EXPECT_EQ(admin::renameName(ts.station, 1, " " + first + " ", nullptr), admin::NameEditResult::Ok)
        << "a person may keep his own name";
    EXPECT_EQ(admin::renameName(ts.station, 1, "Anna Berger-Lund", nullptr), admin::NameEditResult::Ok);
    EXPECT_EQ(admin::personName(ts.station, 1), "Anna Berger-Lund");
    EXPECT_EQ(admin::findPerson(ts.station, "anna berger-lund"), 1);
    EXPECT_EQ(admin::findPerson(ts.station, first), -1);

    // A password, then a reset; the remark another station set meanwhile stays.
    {
        engine::TTzDbf t("Pwd", ts.engine);
        t.CreateIfNotFound = false;
        t.setDbfFileName(dir + "/qb3.dbf");
        ASSERT_TRUE(t.setActive(true));
        t.Go(2);
        t.SetCField("password", "=abc!");
        t.setText("remark", "At lunch");
        ASSERT_TRUE(t.RLock());
        t.Replace();
        t.Flush();
        t.UnLock();
        t.setActive(false);
    }
    EXPECT_EQ(admin::resetPassword(ts.station, 1), admin::NameEditResult::Ok);
    EXPECT_EQ(admin::resetPassword(ts.station, 999), admin::NameEditResult::Missing);
    engine::TTzDbf t("Read", ts.engine);
    t.CreateIfNotFound = false;
    t.setDbfFileName(dir + "/qb3.dbf");
    ASSERT_TRUE(t.setActive(true));
    t.Go(2);
    EXPECT_EQ(t.getText("password"), "");
    EXPECT_EQ(t.getText("remark"), "At lunch");
    EXPECT_EQ(t.getText("name"), "Anna Berger-Lund");
    t.setActive(false);
    ASSERT_TRUE(admin::removeName(ts.station, 2));
    EXPECT_EQ(admin::renameName(ts.station, 2, "Ghost", nullptr), admin::NameEditResult::Missing);
    EXPECT_EQ(admin::resetPassword(ts.station, 2), admin::NameEditResult::Missing);
}
