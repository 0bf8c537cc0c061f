#include "board/Passwords.h"
#include "platform/CodePage.h"

#include <gtest/gtest.h>
#include <set>

using qb::board::Passwords;
using qb::platform::CodePage;

namespace {

std::string encoded(const std::string& pw, CodePage cp, int tail = 0)
{
    std::string stored;
    EXPECT_EQ(Passwords::encode(pw, cp, tail, stored), Passwords::Error::None) << pw;
    return stored;
}

} // namespace

// Stored forms other stations already hold: a change of seed or constants
// would lock every person out, so these bytes are pinned.
TEST(PasswordEncoding, StoredFormIsStable)
{
    EXPECT_EQ(encoded("\xC3\xA9", CodePage::Cp437, 0), "=\x8E!");      // é encodes to Ä, CP437 0x8E
    EXPECT_EQ(encoded("\xC3\xBC", CodePage::Cp437, 49), "=\xA5R");     // ü encodes to Ñ, CP437 0xA5
    EXPECT_EQ(encoded("Cr\xC3\xA8me", CodePage::Cp437, 2), "=\x6E\x6A\xAC\xAE\x86#");
    EXPECT_EQ(encoded("se\xC3\xB1or", CodePage::Cp437, 0), std::string("=\x5E\x09\x2B\xA2\x06!"));
}

TEST(PasswordEncoding, RoundTripIncludingNonAscii)
{
    const char* passwords[] = {"",        "a",          "secret",          "12345678",
                               "\xC3\xA9", "M\xC3\xBCller1", "\xC3\xBC" "ber", "Cr\xC3\xA8me",
                               "~!@#$%^&", "a b  c",     "\xE2\x82\xAC" "uro", "\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"};
    for (CodePage cp : {CodePage::Cp437, CodePage::Cp850}) {
        for (const char* pw : passwords) {
            for (int tail : {0, 17, 49}) {
                std::string stored = encoded(pw, cp, tail);
                ASSERT_GE(stored.size(), 2u);
                EXPECT_EQ(stored.front(), '=');
                EXPECT_EQ(stored.back(), static_cast<char>('!' + tail));
                EXPECT_EQ(Passwords::decode(stored, cp), pw) << pw << " in " << qb::platform::codePageName(cp);
                // The field pads with blanks; the padding is no part of it.
                EXPECT_EQ(Passwords::decode(stored + "   ", cp), pw);
            }
        }
    }
}

TEST(PasswordEncoding, StoredBytesAreTheOemCharactersOfTheEncodedText)
{
    // Wherever the encoded character exists in the OEM code page, the stored
    // byte is that character's code, as a Windows station writes it.
    for (CodePage cp : {CodePage::Cp437, CodePage::Cp850}) {
        for (std::string pw : {"M\xC3\xBCller1", "\xC3\xBC" "ber", "r\xC3\xA9sum\xC3\xA9", "G\xC3\xB6teborg"}) {
            std::string ansi = qb::platform::fromUtf8(pw, CodePage::Windows1252);
            std::string enc = Passwords::encodeBytes(ansi);
            std::string stored = encoded(pw, cp);
            ASSERT_EQ(stored.size(), enc.size() + 2);
            EXPECT_EQ(stored.size(), ansi.size() + 2) << "one stored byte per character";
            for (std::size_t i = 0; i < enc.size(); ++i) {
                std::string viaCharacter = qb::platform::recode(enc.substr(i, 1), CodePage::Windows1252, cp);
                if (viaCharacter != "?") {
                    EXPECT_EQ(stored[i + 1], viaCharacter[0]) << pw << " byte " << i;
                }
            }
        }
    }
}

TEST(PasswordEncoding, OemConversionLosesNoByte)
{
    for (CodePage cp : {CodePage::Cp437, CodePage::Cp850}) {
        std::set<unsigned char> seen;
        for (int b = 0; b < 256; ++b) {
            std::string one(1, static_cast<char>(b));
            std::string oem = Passwords::ansiToOem(one, cp);
            seen.insert(static_cast<unsigned char>(oem[0]));
            EXPECT_EQ(Passwords::oemToAnsi(oem, cp), one) << b;
            if (b < 0x80) {
                EXPECT_EQ(oem, one);
            }
        }
        EXPECT_EQ(seen.size(), 256u) << "every byte has its own OEM byte";
    }
    EXPECT_EQ(Passwords::ansiToOem("\xE9\xFC\xC4", CodePage::Cp437), "\x82\x81\x8E"); // é ü Ä
}

TEST(PasswordEncoding, KeySequenceDependsOnEveryEarlierByte)
{
    std::string a = Passwords::encodeBytes("aaaa");
    std::string b = Passwords::encodeBytes("baaa");
    ASSERT_EQ(a.size(), 4u);
    EXPECT_NE(a, "aaaa");
    EXPECT_NE(a[0], a[1]) << "the key moves on after each byte";
    for (std::size_t i = 1; i < 4; ++i)
        EXPECT_NE(a[i], b[i]) << "byte " << i;
    EXPECT_EQ(Passwords::decodeBytes(a), "aaaa");
}

TEST(PasswordEncoding, RandomTailStaysInRange)
{
    std::set<char> tails;
    for (int i = 0; i < 400; ++i) {
        std::string stored;
        ASSERT_EQ(Passwords::encode("pw", CodePage::Cp437, stored), Passwords::Error::None);
        char t = stored.back();
        EXPECT_GE(t, '!');
        EXPECT_LE(t, 'R');
        tails.insert(t);
        EXPECT_EQ(Passwords::decode(stored, CodePage::Cp437), "pw");
    }
    EXPECT_GT(tails.size(), 10u);
}

TEST(PasswordLimits, NineCharactersRefused)
{
    std::string stored = "untouched";
    EXPECT_EQ(Passwords::encode("123456789", CodePage::Cp437, 0, stored), Passwords::Error::TooLong);
    EXPECT_EQ(stored, "untouched");
    EXPECT_EQ(Passwords::check("123456789"), Passwords::Error::TooLong);
    EXPECT_EQ(Passwords::check("12345678"), Passwords::Error::None);
    // Length counts characters: eight é are sixteen UTF-8 bytes but fit.
    EXPECT_EQ(Passwords::check("\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9\xC3\xA9"), Passwords::Error::None);
    EXPECT_FALSE(Passwords::errorText(Passwords::Error::TooLong).empty());
}

TEST(PasswordLimits, CharactersThatCannotBeStoredRefused)
{
    std::string stored;
    EXPECT_EQ(Passwords::encode("\xD0\x96", CodePage::Cp437, 0, stored), Passwords::Error::InvalidCharacter); // Ж
    EXPECT_EQ(Passwords::check("a\tb"), Passwords::Error::InvalidCharacter);
    EXPECT_EQ(Passwords::check(std::string("a\0b", 3)), Passwords::Error::InvalidCharacter);
    EXPECT_EQ(Passwords::check("\xC3"), Passwords::Error::InvalidCharacter) << "broken UTF-8";
    EXPECT_EQ(Passwords::check("?"), Passwords::Error::None);
}

TEST(PasswordCheck, MatchesIgnoringCase)
{
    const CodePage cp = CodePage::Cp437;
    std::string stored = encoded("Secret", cp);
    EXPECT_TRUE(Passwords::matches("secret", stored, cp));
    EXPECT_TRUE(Passwords::matches("SECRET", stored, cp));
    EXPECT_FALSE(Passwords::matches("secre", stored, cp));
    EXPECT_FALSE(Passwords::matches("secrets", stored, cp));

    std::string accented = encoded("\xC3\xA9t\xC3\xA9", cp); // été
    EXPECT_TRUE(Passwords::matches("\xC3\x89T\xC3\x89", accented, cp)); // ÉTÉ
    EXPECT_FALSE(Passwords::matches("ete", accented, cp));

    EXPECT_TRUE(Passwords::matches("", "", cp));
    EXPECT_TRUE(Passwords::matches("", "          ", cp)) << "an empty field is no password";
    EXPECT_FALSE(Passwords::matches("x", "", cp));
    EXPECT_TRUE(Passwords::matches("", encoded("", cp), cp));

    EXPECT_TRUE(Passwords::equalIgnoringCase("\xD0\x96x", "\xD0\x96X")) << "outside Windows-1252 ASCII still folds";
    EXPECT_FALSE(Passwords::equalIgnoringCase("\xD0\x96", "\xD0\xA9")) << "Ж and Щ are not one letter";
}

TEST(PasswordCheck, PlainAndDamagedStoredValues)
{
    const CodePage cp = CodePage::Cp437;
    // Older data keeps plain passwords in OEM: "müller" with ü = 0x81.
    EXPECT_EQ(Passwords::decode("m\x81ller    ", cp), "m\xC3\xBCller");
    EXPECT_TRUE(Passwords::matches("M\xC3\x9CLLER", "m\x81ller", cp));
    EXPECT_EQ(Passwords::decode("=", cp), "");
    EXPECT_EQ(Passwords::decode("=x", cp), "");
    EXPECT_EQ(Passwords::decode(std::string("=\x8E!\0\0", 5), cp), "\xC3\xA9");
}
