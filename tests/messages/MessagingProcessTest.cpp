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
#include <unistd.h>
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
    qb::test::waitForText(args[1], "stop");
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

std::string selfPath()
{
    char buf[4096];
    const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
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
    qb::test::waitForText(flag, "ready");
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

// One run of the new-message check's probe on the person's table.
QB_CHILD_ROLE(probeOnce)
{
    engine::Engine e;
    platform::MemoryEventLog log;
    board::Station st(e, platform::SystemClock::instance(), log, args[0], args[0]);
    messages::UnreadProbe probe;
    probe.step = std::stoi(args[2]);
    return probe.probe(st, std::stoi(args[1])) + 10;
}

// The probe's system calls on the table, traced: besides the header and the
// first record every open reads, it reads the last record and one record
// `step` before it, one record per read, whatever the table's size.
TEST(UnreadProbeTrace, ReadsTwoRecordsOfALargeTable)
{
    if (qb::test::runCommand("command -v strace >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "strace is not installed";
    TempDir dir;
    ReaderStation rs(dir.path());
    rs.station.pause = [](std::chrono::milliseconds) {};
    for (int i = 0; i < 400; ++i) {
        messages::Message m;
        m.subject = "m" + std::to_string(i);
        m.lines = {"text"};
        m.read = i != 392; // record 393 is new
        ASSERT_TRUE(messages::appendMessage(rs.station, 1, m));
    }
    const std::string trace = dir.file("trace");
    const int rc = qb::test::runCommand("strace -f -e trace=openat,pread64,read,close -o '" + trace + "' '" +
                                        selfPath() + "' --qb-child=probeOnce '" +
                                        dir.path() + "' 1 7");
    EXPECT_EQ(rc, 11) << "found: record 393 is 7 before the last";
    // The reads on msg1.dbf after it was opened, as (offset, length).
    const std::string text = qb::test::readFile(trace);
    std::string fd;
    std::vector<std::pair<long, long>> reads;
    std::size_t pos = 0;
    while ((pos = text.find('\n', pos)) != std::string::npos) {
        const std::size_t next = text.find('\n', pos + 1);
        const std::string line = text.substr(pos + 1, next == std::string::npos ? std::string::npos : next - pos - 1);
        pos = next == std::string::npos ? text.size() : next;
        if (line.find("openat(") != std::string::npos && line.find("/msg1.dbf\"") != std::string::npos)
            fd = line.substr(line.rfind("= ") + 2);
        else if (!fd.empty() && line.find("pread64(" + fd + ",") != std::string::npos) {
            const std::size_t close = line.rfind(')');
            const std::size_t c2 = line.rfind(',', close);
            const std::size_t c1 = line.rfind(',', c2 - 1);
            reads.emplace_back(std::stol(line.substr(c2 + 1, close - c2 - 1)),
                               std::stol(line.substr(c1 + 1, c2 - c1 - 1)));
        } else if (!fd.empty() && line.find("close(" + fd + ")") != std::string::npos)
            fd.clear();
    }
    // Header 32 bytes, 8 field descriptors + terminator, then records of 119 bytes from offset 289.
    const std::vector<std::pair<long, long>> expected = {
        {0, 32}, {32, 257}, {289, 119}, {289 + 399 * 119, 119}, {289 + 392 * 119, 119}};
    EXPECT_EQ(reads, expected) << text;
}
