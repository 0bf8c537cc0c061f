// Faults the fuzz targets found, each pinned by the smallest case that shows it.
#include "engine/Engine.h"
#include "messages/MessageText.h"
#include "platform/CodePage.h"
#include "platform/Profile.h"
#include "tests/support/TestSupport.h"
#include "tools/TableRepair.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

using qb::engine::Engine;
using qb::test::readFile;
using qb::test::TempDir;
using qb::test::writeFile;

TEST(FuzzFindings, ExclusiveAppendUnderABogusHeaderCountStaysAtTheData)
{
    // An exclusive open trusts the header's count; a damaged count made the
    // next append land gigabytes past the data (and a pack then read all of it).
    TempDir dir;
    Engine e;
    ASSERT_TRUE(e.CreateDbf(dir.file("t.dbf"), {{"ident", 'N', 4, 0}, {"inuse", 'L', 1, 0}}));
    ASSERT_TRUE(e.USE(dir.file("t.dbf") + " ALIAS T"));
    for (int i = 1; i <= 2; ++i) {
        e.ClearRecord();
        e.record()->fields[0].integer = i;
        ASSERT_TRUE(e.ALock());
        e.Append();
        e.CommitDbf();
        e.UnLock();
    }
    e.CloseDbf();
    std::string b = readFile(dir.file("t.dbf"));
    ASSERT_EQ(b.size(), 97u + 2 * 6 + 1);
    b[4] = '\xFF', b[5] = '\xFF', b[6] = '\xFF', b[7] = '\x7F';
    writeFile(dir.file("t.dbf"), b);

    ASSERT_TRUE(e.USE(dir.file("t.dbf") + " EXCLUSIVE ALIAS T"));
    e.ClearRecord();
    e.record()->fields[0].integer = 3;
    e.Append();
    EXPECT_EQ(e.lastError(), 0) << e.lastErrorText();
    EXPECT_EQ(e.RecNo(), 3);
    e.CloseDbf();
    b = readFile(dir.file("t.dbf"));
    EXPECT_EQ(b.size(), 97u + 3 * 6 + 1);
    EXPECT_EQ(b.substr(97 + 2 * 6, 6), "    3F");
}

TEST(FuzzFindings, RepairLeavesFieldsWithoutLengthAlone)
{
    // Record length 1 (fields of length 0): every end byte the repair wrote
    // became one more record, and every run found more to do.
    TempDir dir;
    std::string b(32, '\0');
    b[0] = 3;
    b[4] = 2;   // count
    b[8] = 65;  // header length: one field
    b[10] = 1;  // record length
    std::string desc(32, '\0');
    desc.replace(0, 5, "INUSE");
    desc[11] = 'L';
    b += desc + "\r" + "  ";
    writeFile(dir.file("t.dbf"), b);
    qb::tools::TableRepair::Result r = qb::tools::TableRepair().repair(dir.file("t.dbf"));
    EXPECT_EQ(r.status, qb::tools::TableRepair::Status::Failed);
    EXPECT_EQ(readFile(dir.file("t.dbf")), b);
}

TEST(FuzzFindings, IniLineEndingInStrayCarriageReturnsKeepsItsMeaningWhenRewritten)
{
    // "[S\r\r\n" read as the section "S\r"; the rewrite of a key elsewhere
    // stored it as "[S\r\n", which reads as "[S" and hid the later section.
    TempDir dir;
    const std::string path = dir.file("p.ini");
    writeFile(path, "[S\r\r\nA=1\n[S\nB=2\n");
    qb::platform::Profile p(path);
    EXPECT_EQ(p.value("S", "A"), "1");
    ASSERT_EQ(p.writeString("S", "H", "v"), 0);
    EXPECT_EQ(p.value("S", "H"), "v");
    EXPECT_EQ(p.value("S", "A"), "1");
}

TEST(FuzzFindings, MalformedUtf8NeverStoresACharacterItDoesNotSpell)
{
    // Overlong forms were decoded as they stood: "\xC0\x8D" came out as a
    // carriage return, and a message line holding none was stored as two
    // lines plainly (but as one scrambled).
    struct Case {
        const char* typed;
        const char* stored; // Windows-1252
    } cases[] = {
        {"a\xC0\x8D" "b", "a?b"},                 // overlong carriage return
        {"a\xC0\x8A" "b", "a?b"},                 // overlong line feed
        {"a\xE0\x80\x8A" "b", "a?b"},             // the same in three bytes
        {"a\xF0\x80\x80\x8A" "b", "a?b"},         // and in four
        {"a\xC0\x80" "b", "a?b"},                 // overlong NUL
        {"a\xED\xA0\x80" "b", "a?b"},             // a surrogate
        {"a\xF4\x90\x80\x80" "b", "a?b"},         // beyond U+10FFFF
        {"a\xF8\x88\x80\x80\x80" "b", "a?????b"}, // no five-byte forms
        {"a\xC3\xA4" "b", "a\xE4" "b"},           // a real two-byte character stays
    };
    for (const Case& c : cases)
        EXPECT_EQ(qb::platform::fromUtf8(c.typed, qb::platform::CodePage::Windows1252), c.stored) << c.typed;
    EXPECT_EQ(qb::messages::encodeText({"de\xC0\x8D" "x"}, false, qb::platform::CodePage::Cp850),
              std::vector<std::string>{"de?x"});
}
