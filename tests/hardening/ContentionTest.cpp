// Many processes on one table: appenders under the append lock must never
// share a record number or lose a message, and replacers under record locks
// must never leave a torn record while others append.
//
// Sizes scale with QB_CONTENTION_MESSAGES (messages per appender, default
// 250; the full run uses 5000) so the normal test run stays short.
#include "engine/Engine.h"
#include "engine/TTzDbf.h"
#include "messages/MessageStore.h"
#include "tests/support/TestSupport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <gtest/gtest.h>
#include <random>
#include <set>
#include <string>
#include <vector>

using qb::engine::Engine;
using qb::engine::FieldSpec;
using qb::test::TempDir;

namespace {

int scaled(int fallback)
{
    const char* v = std::getenv("QB_CONTENTION_MESSAGES");
    return v && std::atoi(v) > 0 ? std::atoi(v) : fallback;
}

std::string rtrim(std::string s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
    return s;
}

// The engine's lock calls make no pause between attempts; neither do we,
// beyond giving the holder the processor.
bool lockWith(Engine& e, bool (Engine::*lock)())
{
    for (long i = 0; i < 10000000; ++i) {
        if ((e.*lock)())
            return true;
        if (e.lastError() != 0)
            return false;
        sched_yield();
    }
    return false;
}

double secondsSince(std::chrono::steady_clock::time_point t0)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

} // namespace

// args: table, writer number, message count.
QB_CHILD_ROLE(message_appender)
{
    Engine e;
    if (args.size() != 3 || !e.USE(args[0] + " ALIAS MSG"))
        return 2;
    const int writer = std::stoi(args[1]), count = std::stoi(args[2]);
    const int fNo = e.FieldNo("no"), fFrom = e.FieldNo("fromid"), fSubj = e.FieldNo("subj"), fMsg = e.FieldNo("msg");
    for (int seq = 0; seq < count; ++seq) {
        e.ClearRecord();
        auto& f = e.record()->fields;
        f[static_cast<std::size_t>(fFrom - 1)].integer = writer;
        f[static_cast<std::size_t>(fSubj - 1)].text = "seq " + std::to_string(seq);
        if (!lockWith(e, &Engine::ALock))
            return 3;
        const std::int64_t no = e.RecCount();
        f[static_cast<std::size_t>(fNo - 1)].integer = no;
        if (!e.SetMemo(fMsg, {"writer " + std::to_string(writer) + " seq " + std::to_string(seq), "no " + std::to_string(no)}))
            return 4;
        e.Append();
        e.FlushDbf();
        e.CommitDbf();
        e.UnLock();
        if (e.lastError() != 0) {
            std::fprintf(stderr, "message_appender: %s\n", e.lastErrorText().c_str());
            return 5;
        }
    }
    return 0;
}

TEST(Contention, EightAppendersKeepEveryMessageOnce)
{
    TempDir dir;
    const std::string table = dir.file("msg1.dbf");
    std::vector<FieldSpec> fields;
    ASSERT_TRUE(qb::engine::TTzDbf::parseFieldList(qb::messages::messageFieldList(), fields));
    {
        Engine e;
        ASSERT_TRUE(e.CreateDbf(table, fields)) << e.lastErrorText();
    }
    constexpr int kWriters = 8;
    const int perWriter = scaled(250);
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<int> pids;
    for (int w = 0; w < kWriters; ++w)
        pids.push_back(qb::test::startChild("message_appender", {table, std::to_string(w), std::to_string(perWriter)}));
    for (int pid : pids)
        EXPECT_EQ(qb::test::waitChild(pid), 0);
    const double appendSeconds = secondsSince(t0);

    Engine e;
    ASSERT_TRUE(e.USE(table + " ALIAS MSG"));
    const std::int64_t n = e.RecCount();
    ASSERT_EQ(n, static_cast<std::int64_t>(kWriters) * perWriter);
    const int fNo = e.FieldNo("no"), fFrom = e.FieldNo("fromid"), fSubj = e.FieldNo("subj"), fMsg = e.FieldNo("msg");
    std::set<std::pair<long, long>> seen;
    std::set<long> numbers;
    long bad = 0;
    for (std::int64_t r = 1; r <= n && bad < 10; ++r) {
        e.GO(r);
        const auto& f = e.record()->fields;
        const long writer = static_cast<long>(f[static_cast<std::size_t>(fFrom - 1)].integer);
        const std::string subj = rtrim(f[static_cast<std::size_t>(fSubj - 1)].text);
        const std::vector<std::string> memo = e.GetMemo(fMsg);
        long mw = -1, ms = -1, mn = -1;
        if (memo.size() != 2 || std::sscanf(memo[0].c_str(), "writer %ld seq %ld", &mw, &ms) != 2
            || std::sscanf(memo[1].c_str(), "no %ld", &mn) != 1 || mw != writer || subj != "seq " + std::to_string(ms)) {
            ++bad;
            ADD_FAILURE() << "record " << r << ": memo does not match its record (writer " << writer << ", " << subj << ")";
            continue;
        }
        // `no` is the count before the append, taken under the lock: record r
        // got r - 1. The field is N 4, so only numbers below 10000 are stored.
        EXPECT_EQ(mn, r - 1) << "record " << r;
        if (mn < 10000) {
            EXPECT_EQ(f[static_cast<std::size_t>(fNo - 1)].integer, mn) << "record " << r;
        }
        EXPECT_TRUE(seen.insert({mw, ms}).second) << "message of writer " << mw << " seq " << ms << " twice";
        EXPECT_TRUE(numbers.insert(mn).second) << "no " << mn << " twice";
    }
    EXPECT_EQ(bad, 0);
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(n));
    std::printf("contention: %d appenders x %d messages = %lld records in %.2f s\n", kWriters, perWriter,
                static_cast<long long>(n), appendSeconds);
}

namespace {

const std::vector<FieldSpec> kSelfCheckFields = {
    {"id", 'N', 8, 0}, {"tok", 'C', 16, 0}, {"pad", 'C', 60, 0}, {"tok2", 'C', 16, 0}};

// Under the lock nobody else writes the record, so its two tokens agree.
bool torn(Engine& e) { return e.record()->fields[1].text != e.record()->fields[3].text; }

} // namespace

// args: table, seed, replace count.
QB_CHILD_ROLE(record_replacer)
{
    Engine e;
    if (args.size() != 3 || !e.USE(args[0] + " ALIAS T"))
        return 2;
    std::mt19937 rng(static_cast<unsigned>(std::stoul(args[1])));
    const int count = std::stoi(args[2]);
    for (int i = 0; i < count; ++i) {
        e.GO(static_cast<std::int64_t>(rng() % static_cast<unsigned>(e.RecCount())) + 1);
        if (!lockWith(e, &Engine::RLock))
            return 3;
        e.Skip(0); // what we read before the lock may already be stale
        if (torn(e))
            return 10;
        std::string tok = args[1] + "-" + std::to_string(i);
        tok.resize(16, ' ');
        e.record()->fields[1].text = tok;
        e.record()->fields[2].text = std::string(60, static_cast<char>('a' + i % 26));
        e.record()->fields[3].text = tok;
        e.Replace();
        e.UnLock();
        if (e.lastError() != 0)
            return 4;
    }
    return 0;
}

// args: table, first id, count.
QB_CHILD_ROLE(record_appender)
{
    Engine e;
    if (args.size() != 3 || !e.USE(args[0] + " ALIAS T"))
        return 2;
    const long first = std::stol(args[1]);
    const int count = std::stoi(args[2]);
    for (int i = 0; i < count; ++i) {
        e.ClearRecord();
        const std::string tok = "new-" + std::to_string(first + i);
        e.record()->fields[0].integer = first + i;
        e.record()->fields[1].text = tok;
        e.record()->fields[3].text = tok;
        if (!lockWith(e, &Engine::ALock))
            return 3;
        e.Append();
        e.FlushDbf();
        e.CommitDbf();
        e.UnLock();
        if (e.lastError() != 0)
            return 4;
    }
    return 0;
}

TEST(Contention, RecordLockedReplacesNeverTearWhileOthersAppend)
{
    TempDir dir;
    const std::string table = dir.file("selfcheck.dbf");
    constexpr int kInitial = 200, kReplacers = 8, kAppenders = 2;
    const int replaces = scaled(250) / 2, appends = scaled(250) / 2;
    {
        Engine e;
        ASSERT_TRUE(e.CreateDbf(table, kSelfCheckFields));
        ASSERT_TRUE(e.USE(table + " ALIAS T"));
        for (int i = 1; i <= kInitial; ++i) {
            e.ClearRecord();
            e.record()->fields[0].integer = i;
            e.record()->fields[1].text = "init-" + std::to_string(i);
            e.record()->fields[3].text = "init-" + std::to_string(i);
            ASSERT_TRUE(e.ALock());
            e.Append();
            e.CommitDbf();
            e.UnLock();
            ASSERT_EQ(e.lastError(), 0) << e.lastErrorText();
        }
    }
    const auto t0 = std::chrono::steady_clock::now();
    std::vector<int> pids;
    for (int i = 0; i < kReplacers; ++i)
        pids.push_back(qb::test::startChild("record_replacer", {table, std::to_string(1000 + i), std::to_string(replaces)}));
    for (int i = 0; i < kAppenders; ++i)
        pids.push_back(qb::test::startChild("record_appender",
                                            {table, std::to_string(100000 * (i + 1)), std::to_string(appends)}));
    for (int pid : pids)
        EXPECT_EQ(qb::test::waitChild(pid), 0) << "10 means a torn record under the lock";
    const double seconds = secondsSince(t0);

    Engine e;
    ASSERT_TRUE(e.USE(table + " ALIAS T"));
    const std::int64_t n = e.RecCount();
    EXPECT_EQ(n, kInitial + kAppenders * appends);
    std::set<long> ids;
    for (std::int64_t r = 1; r <= n; ++r) {
        e.GO(r);
        EXPECT_FALSE(torn(e)) << "record " << r;
        EXPECT_TRUE(ids.insert(static_cast<long>(e.record()->fields[0].integer)).second) << "record " << r;
    }
    std::printf("contention: %d replacers x %d replaces, %d appenders x %d appends in %.2f s\n", kReplacers, replaces,
                kAppenders, appends, seconds);
}
