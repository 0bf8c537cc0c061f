// qbtool check --repair on tables damaged by hand the way an interrupted
// writer damages them, and its refusal while another station holds a lock.
#include "engine/Engine.h"
#include "platform/PosixFile.h"
#include "tests/support/TestSupport.h"
#include "tools/TableChecker.h"
#include "tools/TableRepair.h"

#include <csignal>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

using qb::engine::Engine;
using qb::test::readFile;
using qb::test::TempDir;
using qb::test::writeFile;
using qb::tools::TableRepair;

namespace {

// ident N 4, name C 10, notes M: header 129 bytes, records 25 bytes.
constexpr std::size_t kHeader = 129, kRecord = 25;

void putU32(std::string& b, std::size_t off, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[off + static_cast<std::size_t>(i)] = static_cast<char>(v >> (8 * i));
}

std::uint32_t u32(const std::string& b, std::size_t off)
{
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(b[off + static_cast<std::size_t>(i)]);
    return v;
}

std::string joined(const std::vector<std::string>& v)
{
    std::string s;
    for (const auto& l : v)
        s += l + "\n";
    return s;
}

// A sound table of three records with memos, written by the engine.
struct Fixture {
    TempDir dir;
    std::string dbf = dir.file("t.dbf"), dbt = dir.file("t.dbt");
    std::string soundDbf, soundDbt;
    Fixture()
    {
        Engine e;
        EXPECT_TRUE(e.CreateDbf(dbf, {{"ident", 'N', 4, 0}, {"name", 'C', 10, 0}, {"notes", 'M', 10, 0}}));
        EXPECT_TRUE(e.USE(dbf + " ALIAS T"));
        for (int i = 1; i <= 3; ++i) {
            e.ClearRecord();
            e.record()->fields[0].integer = i;
            e.record()->fields[1].text = "name" + std::to_string(i);
            EXPECT_TRUE(e.SetMemo(3, {"memo of " + std::to_string(i), std::string(400, 'x')}));
            EXPECT_TRUE(e.ALock());
            e.Append();
            e.CommitDbf();
            e.UnLock();
        }
        e.CloseDbf();
        soundDbf = readFile(dbf);
        soundDbt = readFile(dbt);
        EXPECT_EQ(soundDbf.size(), kHeader + 3 * kRecord + 1);
    }
    std::vector<std::string> check() { return qb::tools::TableChecker().check(dbf); }
};

} // namespace

TEST(TableRepair, SoundTableIsLeftAlone)
{
    Fixture f;
    TableRepair::Result r = TableRepair().repair(f.dbf);
    EXPECT_EQ(r.status, TableRepair::Status::NothingToDo) << r.reason;
    EXPECT_EQ(readFile(f.dbf), f.soundDbf);
    EXPECT_EQ(readFile(f.dbt), f.soundDbt);
}

TEST(TableRepair, TornTrailingRecordIsDroppedAndTheRestKept)
{
    Fixture f;
    // Killed in the middle of an append: part of record 4, no end byte, old count.
    std::string damaged = f.soundDbf.substr(0, f.soundDbf.size() - 1) + " 4   nam";
    writeFile(f.dbf, damaged);
    ASSERT_NE(joined(f.check()), "");
    TableRepair::Result r = TableRepair().repair(f.dbf);
    EXPECT_EQ(r.status, TableRepair::Status::Repaired);
    ASSERT_EQ(r.changes.size(), 2u) << joined(r.changes);
    EXPECT_NE(r.changes[0].find("dropped a torn record of 8 bytes after record 3"), std::string::npos);
    EXPECT_EQ(readFile(f.dbf), f.soundDbf);
    EXPECT_EQ(joined(f.check()), "");
}

TEST(TableRepair, HeaderCountFollowsTheWholeRecordsInTheFile)
{
    Fixture f;
    for (std::uint32_t stored : {1u, 0u, 10u, 0xFFFFFFFFu}) {
        std::string damaged = f.soundDbf;
        putU32(damaged, 4, stored);
        writeFile(f.dbf, damaged);
        TableRepair::Result r = TableRepair().repair(f.dbf);
        EXPECT_EQ(r.status, TableRepair::Status::Repaired) << stored;
        EXPECT_EQ(readFile(f.dbf), f.soundDbf) << stored;
    }
    // Records appended after the last header rewrite (count lagging, end byte
    // already after the new record) are kept and counted.
    std::string appended = f.soundDbf.substr(0, f.soundDbf.size() - 1) + f.soundDbf.substr(kHeader, kRecord) + "\x1A";
    writeFile(f.dbf, appended);
    EXPECT_EQ(TableRepair().repair(f.dbf).status, TableRepair::Status::Repaired);
    EXPECT_EQ(u32(readFile(f.dbf), 4), 4u);
    EXPECT_EQ(readFile(f.dbf).size(), appended.size());
    EXPECT_EQ(joined(f.check()), "");
}

TEST(TableRepair, MissingOrWrongEndByteIsWritten)
{
    Fixture f;
    writeFile(f.dbf, f.soundDbf.substr(0, f.soundDbf.size() - 1));
    EXPECT_EQ(TableRepair().repair(f.dbf).status, TableRepair::Status::Repaired);
    EXPECT_EQ(readFile(f.dbf), f.soundDbf);
    // A single stray byte where the end byte belongs is a one-byte torn record.
    writeFile(f.dbf, f.soundDbf.substr(0, f.soundDbf.size() - 1) + " ");
    EXPECT_EQ(TableRepair().repair(f.dbf).status, TableRepair::Status::Repaired);
    EXPECT_EQ(readFile(f.dbf), f.soundDbf);
}

TEST(TableRepair, MemoNextFreeBlockIsSetFromTheMemoFileSize)
{
    Fixture f;
    const std::uint32_t expected = u32(f.soundDbt, 0);
    ASSERT_EQ(expected, f.soundDbt.size() / 512);
    for (std::uint32_t stored : {0u, 1u, expected - 1, expected + 5}) {
        std::string damaged = f.soundDbt;
        putU32(damaged, 0, stored);
        writeFile(f.dbt, damaged);
        TableRepair::Result r = TableRepair().repair(f.dbf);
        EXPECT_EQ(r.status, TableRepair::Status::Repaired) << stored;
        EXPECT_EQ(readFile(f.dbt), f.soundDbt) << stored;
        EXPECT_EQ(readFile(f.dbf), f.soundDbf);
    }
    // Blocks written by a memo write that died before its header update: the
    // next free block moves past them, nothing else changes.
    std::string longer = f.soundDbt + std::string(512, 'z');
    writeFile(f.dbt, longer);
    EXPECT_EQ(TableRepair().repair(f.dbf).status, TableRepair::Status::Repaired);
    EXPECT_EQ(u32(readFile(f.dbt), 0), expected + 1);
    EXPECT_EQ(readFile(f.dbt).substr(4), longer.substr(4));
}

TEST(TableRepair, WhatItCannotMendIsLeftUntouched)
{
    Fixture f;
    const std::string shortFile = f.soundDbf.substr(0, 100);
    writeFile(f.dbf, shortFile);
    TableRepair::Result r = TableRepair().repair(f.dbf);
    EXPECT_EQ(r.status, TableRepair::Status::Failed);
    EXPECT_EQ(readFile(f.dbf), shortFile);

    writeFile(f.dbf, std::string("not a table at all, just some text......"));
    EXPECT_EQ(TableRepair().repair(f.dbf).status, TableRepair::Status::Failed);
    EXPECT_EQ(TableRepair().repair(f.dir.file("missing.dbf")).status, TableRepair::Status::Failed);
}

// args: table, lock kind, ready file. Holds the lock until killed.
QB_CHILD_ROLE(lock_holder)
{
    if (args.size() != 3)
        return 2;
    Engine e;
    if (!e.USE(args[0] + " ALIAS T"))
        return 3;
    const std::string& kind = args[1];
    qb::platform::PosixFile memo;
    bool ok = true;
    if (kind == "append") {
        ok = e.ALock();
    } else if (kind == "file") {
        ok = e.FLock();
    } else if (kind == "record") {
        e.GO(2);
        ok = e.RLock();
    } else if (kind == "memo") {
        ok = memo.open(args[0].substr(0, args[0].size() - 3) + "dbt", qb::platform::Access::ReadWrite,
                       qb::platform::Share::NoSharing) == 0
             && memo.lock(10, 1) == qb::platform::LockResult::Locked;
    } // "open": holding the table open is enough
    if (!ok)
        return 4;
    writeFile(args[2], "ready");
    for (;;)
        ::pause();
}

TEST(TableRepair, RefusesWhileAnotherStationHoldsALockAndSaysWhich)
{
    struct Case {
        const char* kind;
        const char* says;
    };
    for (const Case c : {Case{"append", "the append lock is held"}, Case{"file", "the file lock is held"},
                         Case{"record", "a record lock on record 2 is held"}, Case{"memo", "the memo lock is held"},
                         Case{"open", "the table is open at another station"}}) {
        SCOPED_TRACE(c.kind);
        Fixture f;
        std::string damaged = f.soundDbf.substr(0, f.soundDbf.size() - 1) + " 4 ";
        writeFile(f.dbf, damaged);
        const std::string ready = f.dir.file("ready");
        const int pid = qb::test::startChild("lock_holder", {f.dbf, c.kind, ready});
        for (int i = 0; i < 50000 && readFile(ready).empty(); ++i)
            ::usleep(100);
        ASSERT_EQ(readFile(ready), "ready");

        TableRepair::Result r = TableRepair().repair(f.dbf);
        EXPECT_EQ(r.status, TableRepair::Status::Refused);
        EXPECT_NE(r.reason.find(c.says), std::string::npos) << r.reason;
        EXPECT_EQ(readFile(f.dbf), damaged);
        EXPECT_EQ(readFile(f.dbt), f.soundDbt);

        // The command says the same and fails.
        std::string out;
        EXPECT_EQ(qb::test::runCommand(std::string(QB_QBTOOL) + " check --repair " + f.dbf + " 2>&1", &out), 1);
        EXPECT_NE(out.find(f.dbf + ": not repaired: "), std::string::npos) << out;
        EXPECT_NE(out.find(c.says), std::string::npos) << out;
        EXPECT_EQ(readFile(f.dbf), damaged);

        ::kill(pid, SIGKILL);
        qb::test::waitChild(pid);
        EXPECT_EQ(qb::test::runCommand(std::string(QB_QBTOOL) + " check --repair " + f.dbf + " 2>&1", &out), 0) << out;
        EXPECT_NE(out.find(f.dbf + ": repaired: dropped a torn record of 3 bytes"), std::string::npos) << out;
        EXPECT_EQ(readFile(f.dbf), f.soundDbf);
    }
}

TEST(TableRepair, CommandLeavesSoundTablesAndRejectsUnknownOptions)
{
    Fixture f;
    std::string out;
    EXPECT_EQ(qb::test::runCommand(std::string(QB_QBTOOL) + " check --repair " + f.dbf + " 2>&1", &out), 0) << out;
    EXPECT_EQ(out.find("repaired"), std::string::npos) << out;
    EXPECT_EQ(readFile(f.dbf), f.soundDbf);
    EXPECT_EQ(qb::test::runCommand(std::string(QB_QBTOOL) + " check --repai " + f.dbf + " 2>&1", &out), 2) << out;
    EXPECT_EQ(qb::test::runCommand(std::string(QB_QBTOOL) + " check --repair 2>&1", &out), 2) << out;
}

// A header whose lengths disagree with the field descriptors may itself be
// the damage: cutting the file by its record length would drop good
// records. Such a table is reported with what a forced repair would do and
// left byte for byte as it was.
TEST(TableRepair, HeaderThatDisagreesWithTheFieldsIsNotTrusted)
{
    struct Case {
        const char* name;
        std::size_t offset;
        int value;
        const char* says;
    };
    for (const Case c : {Case{"record length 0xFFFF", 10, 0xFFFF, "record length 65535 disagrees"},
                         Case{"record length one too long", 10, static_cast<int>(kRecord) + 1, "record length 26"},
                         Case{"header length 32 too small", 8, static_cast<int>(kHeader) - 32,
                              "record length 25 disagrees with the fields (1 + their lengths = 15)"}}) {
        SCOPED_TRACE(c.name);
        Fixture f;
        std::string damaged = f.soundDbf;
        damaged[c.offset] = static_cast<char>(c.value & 0xFF);
        damaged[c.offset + 1] = static_cast<char>(c.value >> 8);
        writeFile(f.dbf, damaged);

        TableRepair::Result r = TableRepair().repair(f.dbf);
        EXPECT_EQ(r.status, TableRepair::Status::Untrusted) << r.reason;
        EXPECT_NE(r.reason.find(c.says), std::string::npos) << r.reason;
        EXPECT_EQ(readFile(f.dbf), damaged);
        EXPECT_EQ(readFile(f.dbt), f.soundDbt);

        std::string out;
        EXPECT_EQ(qb::test::runCommand(std::string(QB_QBTOOL) + " check --repair " + f.dbf + " 2>&1", &out), 1);
        EXPECT_NE(out.find("not repaired: the header cannot be trusted"), std::string::npos) << out;
        EXPECT_NE(out.find("--repair --force would do this: "), std::string::npos) << out;
        EXPECT_EQ(readFile(f.dbf), damaged);

        // Forced, it does what it said.
        EXPECT_EQ(TableRepair().repair(f.dbf, true).status, TableRepair::Status::Repaired);
        EXPECT_NE(readFile(f.dbf), damaged);
    }
}

// A link in a data directory may lead anywhere; neither a directory check
// nor a repair of the link itself writes through it.
TEST(TableRepair, NeverWritesThroughASymbolicLink)
{
    Fixture f;
    TempDir data;
    const std::string torn = f.soundDbf.substr(0, f.soundDbf.size() - 1) + " 4 ";
    writeFile(f.dbf, torn);
    ASSERT_EQ(::symlink(f.dbf.c_str(), data.file("t.dbf").c_str()), 0);

    std::string out;
    EXPECT_EQ(qb::test::runCommand(std::string(QB_QBTOOL) + " check --repair " + data.path() + " 2>&1", &out), 1);
    EXPECT_NE(out.find("is a symbolic link to " + f.dbf), std::string::npos) << out;
    EXPECT_EQ(readFile(f.dbf), torn);

    TableRepair::Result r = TableRepair().repair(data.file("t.dbf"), true);
    EXPECT_EQ(r.status, TableRepair::Status::Failed);
    EXPECT_NE(r.reason.find("symbolic link"), std::string::npos) << r.reason;
    EXPECT_EQ(readFile(f.dbf), torn);
}
