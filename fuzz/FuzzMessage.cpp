// The text of a message on its way through a memo: typed lines encoded
// (plainly or scrambled, in each OEM code page), joined into memo text,
// split again as the reader splits it and decoded. A scrambled message must
// read back as the same text stored plainly in the window code page; stored text from
// the input itself must decode without harm; flag bytes round-trip.
#include "FuzzEntries.h"
#include "FuzzScratch.h"

#include "engine/MemoFile.h"
#include "messages/MessageText.h"

#include <string>
#include <string_view>
#include <vector>

namespace qb::fuzz {

namespace {

using platform::CodePage;

// Lines as an editor hands them over: split at line feeds, without the
// carriage returns and end-of-file bytes no one can type into a line.
std::vector<std::string> typedLines(std::string_view text)
{
    std::vector<std::string> lines(1);
    for (char c : text) {
        if (c == '\n')
            lines.emplace_back();
        else if (c != '\r' && c != '\x1A')
            lines.back().push_back(c);
    }
    return lines;
}

// What a reader shows of stored lines: through the memo file and back.
std::vector<std::string> throughMemo(const std::vector<std::string>& stored, CodePage cp, bool* scrambled)
{
    return messages::decodeText(engine::MemoFile::splitLines(engine::MemoFile::joinLines(stored), 0), cp, scrambled);
}

} // namespace

int fuzzOneMessage(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const CodePage cp = static_cast<CodePage>(data[0] % 3);
    std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    const std::vector<std::string> lines = typedLines(text);
    // A typed first character 127 is the scrambled marker; such a text reads
    // back scrambled by design (the stations agree on it), so the
    // round trips below do not hold for it.
    const bool typedMarker = !lines[0].empty() && lines[0][0] == messages::kScrambleMarker;

    bool scrambled = true;
    const std::vector<std::string> plain = messages::encodeText(lines, false, cp, &scrambled);
    require(!scrambled, "a message stored plainly says it is scrambled");
    bool readScrambled = true;
    const std::vector<std::string> plainBack = throughMemo(plain, cp, &readScrambled);

    require(typedMarker || !readScrambled, "a message stored plainly reads as scrambled");
    const std::vector<std::string> secret = messages::encodeText(lines, true, cp, &scrambled);
    for (const std::string& line : secret)
        require(line.find('\x1A') == std::string::npos, "a stored line holds the memo's end byte");
    if (scrambled && !typedMarker) {
        require(secret.size() == plain.size(), "scrambling changed the number of lines");
        const std::vector<std::string> secretBack = throughMemo(secret, cp, &readScrambled);
        require(readScrambled, "a scrambled message does not read as scrambled");
        // Scrambled text goes through the window code page, losslessly.
        const std::vector<std::string> windowBack =
            throughMemo(messages::encodeText(lines, false, CodePage::Windows1252), CodePage::Windows1252, nullptr);
        require(secretBack == windowBack, "a scrambled message reads back other than the same text stored plainly");
    }
    // Decoding is stable: what a reader shows, stored again plainly, shows the same.
    require(typedMarker || throughMemo(messages::encodeText(plainBack, false, cp), cp, nullptr) == plainBack,
            "a message read back and stored again changes");

    // The input as stored memo text, as another station may have written it.
    messages::decodeText(engine::MemoFile::splitLines(std::string(text), (data[0] & 0x80) ? 20 : 0), cp, nullptr);

    const std::uint8_t flags = size > 1 ? data[1] : 0;
    require(messages::flagsOf(messages::flagChar(flags, cp), cp) == flags, "a flag byte does not round-trip");
    return 0;
}

} // namespace qb::fuzz
