// Stations meet in the message tables: qbtool processes append while a
// reader deletes and packs.
#include "engine/TTzDbf.h"
#include "messages/MessageStore.h"
#include "messages/ReaderLogic.h"
#include "platform/EventLog.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <map>
#include <sys/stat.h>
#include <set>
#include <thread>

using namespace qb;
using qb::test::TempDir;

namespace {

std::string q(const std::string& s) { return "'" + s + "'"; }

std::string qbtool(const std::string& args, int* status)
{
    std::string out;
    *status = qb::test::runCommand(std::string(QB_QBTOOL) + " " + args + " 2>&1", &out);
    return out;
}

struct ReaderStation {
    engine::Engine engine;
    platform::MemoryEventLog log;
    board::Station station;
    explicit ReaderStation(const std::string& dir) : station(engine, platform::SystemClock::instance(), log, dir, dir)
    {
    }
};

// Keeps msg1.dbf open exclusively until told to stop, as a reader packing it.
QB_CHILD_ROLE(holdExclusive)
{
    engine::Engine e;
    engine::TTzDbf t("Hold", e);
    t.CreateIfNotFound = false;
    t.setExclusive(true);
    t.setDbfFileName(args[0] + "/msg1.dbf");
    if (!t.setActive(true))
        return 1;
    qb::test::writeFile(args[1], "ready");
    while (qb::test::readFile(args[1]) != "stop")
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return 0;
}

// One sender: `count` messages, one qbtool process each; prints the
// subjects that were delivered, one a line, into args[2].
QB_CHILD_ROLE(sendMany)
{
    std::string delivered;
    const int count = std::stoi(args[2]);
    for (int k = 0; k < count; ++k) {
        const std::string subj = args[1] + "-" + std::to_string(k);
        int rc = qb::test::runCommand(std::string(QB_QBTOOL) + " send-message " + q(args[0]) + " 'Anna Berger' " +
                                      q(subj) + " " + q("body of " + subj + "\nsecond line") + " --wait 20 >/dev/null 2>&1");
        if (rc == 0)
            delivered += subj + "\n";
        else if (rc != 4)
            return 10 + rc;
    }
    qb::test::writeFile(args[3], delivered + "end\n");
    return 0;
}

std::string demoDir(TempDir& tmp)
{
    std::string dir = tmp.file("data");
    int rc;
    qbtool("init " + q(dir) + " --demo", &rc);
    EXPECT_EQ(rc, 0);
    EXPECT_TRUE(messages::deleteMailbox(dir, 1));
    return dir;
}

} // namespace

TEST(SendMessageTool, ExitStatusesTellWhatHappened)
{
    TempDir tmp;
    const std::string dir = demoDir(tmp);
    int rc;
    std::string out = qbtool("send-message " + q(dir) + " 'anna berger' 'Door bell' 'Someone at the door' --urgent", &rc);
    EXPECT_EQ(rc, 0) << out;
    std::string json = qbtool("dump --json " + q(dir + "/msg1.dbf"), &rc);
    EXPECT_NE(json.find("\"no\": 0, \"read\": false, \"fromid\": 0"), std::string::npos) << json;
    EXPECT_NE(json.find("\"msg\": \"Someone at the door\", \"from\": \"qbtool\", \"subj\": \"Door bell\", \"state\": \"`\""),
              std::string::npos)
        << json;

    out = qbtool("send-message " + q(dir) + " 'Nobody Here' 'x' 'y'", &rc);
    EXPECT_EQ(rc, 3) << out;
    out = qbtool("send-message " + q(dir) + " 'Anna Berger' " + q(std::string(41, 's')) + " 'y'", &rc);
    EXPECT_EQ(rc, 2) << out;
    out = qbtool("send-message " + q(dir) + " 'Anna Berger' 'x'", &rc);
    EXPECT_EQ(rc, 2) << out;

    const std::string flag = tmp.file("flag");
    const int holder = qb::test::startChild("holdExclusive", {dir, flag});
    while (qb::test::readFile(flag) != "ready")
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    out = qbtool("send-message " + q(dir) + " 'Anna Berger' 'x' 'y' --wait 0.2", &rc);
    EXPECT_EQ(rc, 4) << out;
    qb::test::writeFile(flag, "stop");
    EXPECT_EQ(qb::test::waitChild(holder), 0);

    ASSERT_TRUE(messages::deleteMailbox(dir, 1));
    ASSERT_EQ(::mkdir((dir + "/msg1.dbf").c_str(), 0755), 0);
    out = qbtool("send-message " + q(dir) + " 'Anna Berger' 'x' 'y'", &rc);
    EXPECT_EQ(rc, 5) << out;
    out = qbtool("send-message " + q(tmp.file("nowhere")) + " 'Anna Berger' 'x' 'y'", &rc);
    EXPECT_EQ(rc, 5) << out;
}

// Eight scripts send to one person while that person's reader deletes and
// packs: every message not deleted is there exactly once, with its memo.
TEST(SendMessageTool, EightSendersWhileTheReaderDeletesAndPacks)
{
    TempDir tmp;
    const std::string dir = demoDir(tmp);
    constexpr int kSenders = 8, kEach = 12;
    std::vector<int> pids;
    for (int i = 0; i < kSenders; ++i)
        pids.push_back(qb::test::startChild(
            "sendMany", {dir, "w" + std::to_string(i), std::to_string(kEach), tmp.file("sent" + std::to_string(i))}));

    ReaderStation rs(dir);
    messages::ReaderLogic reader(rs.station);
    reader.setBoardIndex(1);
    std::map<std::string, int> deleted;
    int packs = 0;
    for (int round = 0;; ++round) {
        bool running = false;
        for (int i = 0; i < kSenders; ++i)
            if (qb::test::readFile(tmp.file("sent" + std::to_string(i))).empty())
                running = true;
        if (!running || round > 20000)
            break;
        if (!reader.open()) {
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            continue;
        }
        std::int64_t found = -1;
        reader.positionForActivation(found);
        // Walks back from the last message and deletes the even-numbered
        // ones, so that some messages stay.
        for (int steps = 0; reader.atMessage() && steps < 3; ++steps) {
            messages::StoredMessage m = reader.current();
            if ((m.subject.back() - '0') % 2 != 0 || deleted.count(m.subject)) {
                reader.table().Skip(-1);
                if (reader.table().dBOF())
                    break;
                continue;
            }
            ASSERT_EQ(m.lines, (std::vector<std::string>{"body of " + m.subject, "second line"})) << m.subject;
            messages::ReaderLogic::DeleteResult r = reader.deleteCurrent();
            ++deleted[m.subject];
            packs += r.packed ? 1 : 0;
        }
        reader.close();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    std::set<std::string> sent;
    for (int i = 0; i < kSenders; ++i) {
        EXPECT_EQ(qb::test::waitChild(pids[static_cast<std::size_t>(i)]), 0);
        std::string lines = qb::test::readFile(tmp.file("sent" + std::to_string(i)));
        for (std::size_t a = 0, b; (b = lines.find('\n', a)) != std::string::npos; a = b + 1)
            if (lines.substr(a, b - a) != "end")
                sent.insert(lines.substr(a, b - a));
    }
    EXPECT_EQ(sent.size(), static_cast<std::size_t>(kSenders * kEach)) << "a send gave up";

    ASSERT_TRUE(reader.open());
    std::map<std::string, int> present;
    for (reader.table().GoTop(); !reader.table().dEOF(); reader.table().Skip(1)) {
        messages::StoredMessage m = messages::readMessage(reader.table());
        ++present[m.subject];
        EXPECT_EQ(m.lines, (std::vector<std::string>{"body of " + m.subject, "second line"})) << m.subject;
    }
    reader.close();
    for (const auto& s : sent) {
        const int p = present.count(s) ? present[s] : 0;
        const int d = deleted.count(s) ? deleted[s] : 0;
        EXPECT_EQ(p + d, 1) << s << " present " << p << " deleted " << d;
    }
    EXPECT_EQ(present.size() + deleted.size(), sent.size());
    EXPECT_GT(packs, 0) << "the reader never packed";
    int rc;
    std::string check = qbtool("check " + q(dir), &rc);
    EXPECT_EQ(rc, 0) << check;
    std::cout << "[          ] sent " << sent.size() << ", deleted " << deleted.size() << " with " << packs
              << " packs, left " << present.size() << "\n";
}
