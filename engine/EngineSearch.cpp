// Finding records: Peek, Locate/Continue and the raw-text Search.
#include "Engine.h"

#include "engine/RecordCodec.h"
#include "engine/WorkArea.h"

#include <algorithm>
#include <cctype>

namespace qb::engine {

namespace {
std::string upperText(std::string s)
{
    for (auto& c : s)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

void rtrimBlanks(std::string& s)
{
    while (!s.empty() && s.back() == ' ')
        s.pop_back();
}
} // namespace

std::string Engine::Peek(int field, std::int64_t recNo)
{
    WorkArea* wa = area("Peek");
    if (!wa || !checkField(*wa, field, "Peek"))
        return {};
    if (recNo > wa->recCount)
        refreshCount(*wa);
    std::string raw;
    if (!readRaw(*wa, recNo, raw, "Peek"))
        return {};
    const FieldInfo& f = wa->fields[static_cast<std::size_t>(field - 1)];
    return raw.substr(static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.length));
}

bool Engine::Locate(std::string_view spec, const FieldValue& value)
{
    WorkArea* wa = area("LOCATE");
    if (!wa)
        return false;
    std::vector<std::string> words;
    std::string word;
    for (char c : spec) {
        if (c == ' ' || c == '\t') {
            if (!word.empty())
                words.push_back(std::move(word));
            word.clear();
        } else {
            word.push_back(c);
        }
    }
    if (!word.empty())
        words.push_back(std::move(word));
    if (words.empty()) {
        setError(err::kInvalidParameter, "No field name specified [LOCATE/COUNT/SUM]");
        return false;
    }
    int field = findField(*wa, words[0]);
    if (field == 0) {
        setError(err::kInvalidParameter, "Unrecognized field name [LOCATE/COUNT/SUM(" + std::string(spec) + ")]");
        return false;
    }
    bool noCase = false, exact = false, contained = false;
    for (std::size_t i = 1; i < words.size(); ++i) {
        std::string k = upperText(words[i]);
        noCase |= k == "NOCASE";
        exact |= k == "EXACT";
        contained |= k == "CONTAINED";
    }
    const FieldInfo& f = wa->fields[static_cast<std::size_t>(field - 1)];
    std::string text = f.type == 'M' ? value.text : RecordCodec::encode(f, value, dateSettings());
    if (!exact)
        rtrimBlanks(text);
    if (noCase)
        text = upperText(text);
    wa->locateActive = true;
    wa->locateField = field;
    wa->locateText = text;
    wa->locateNoCase = noCase;
    wa->locateExact = exact;
    wa->locateContained = contained;
    return locateFrom(*wa, 1);
}

bool Engine::Continue()
{
    WorkArea* wa = area("CONTINUE");
    if (!wa)
        return false;
    if (!wa->locateActive) {
        setError(err::kInvalidParameter, "Call to CONTINUE not preceeded by call to LOCATE. [CONTINUE]");
        return false;
    }
    return locateFrom(*wa, std::max<std::int64_t>(wa->recNo, 0) + 1);
}

bool Engine::locateFrom(WorkArea& wa, std::int64_t start)
{
    refreshCount(wa);
    if (!wa.exclusive)
        wa.dropCache(); // the scan is a pass of its own
    const FieldInfo& f = wa.fields[static_cast<std::size_t>(wa.locateField - 1)];
    const std::string& key = wa.locateText;
    std::string raw;
    for (std::int64_t r = start; r <= wa.recCount; ++r) {
        if (!readRaw(wa, r, raw, "LOCATE", +1)) {
            if (endedShort(wa, r))
                break;
            return false;
        }
        std::string cell = raw.substr(static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.length));
        bool hit = false;
        if (f.type == 'M') {
            std::int64_t block = RecordCodec::parseInteger(cell);
            std::string memo;
            if (block > 0 && wa.memo.isOpen() && wa.memo.read(block, memo) == 0) {
                for (std::string line : MemoFile::splitLines(memo, 0)) {
                    if (wa.locateNoCase)
                        line = upperText(line);
                    if (line.find(key) != std::string::npos) {
                        hit = true;
                        break;
                    }
                }
            }
        } else {
            if (!wa.locateExact && !wa.locateContained && cell.size() > key.size())
                cell.resize(key.size());
            if (wa.locateNoCase)
                cell = upperText(cell);
            hit = wa.locateContained ? cell.find(key) != std::string::npos : cell == key;
        }
        if (hit) {
            wa.eof = wa.bof = false;
            return readRecord(wa, r);
        }
    }
    setEof(wa, wa.recCount < 1);
    return false;
}

bool Engine::Search(std::string_view key, int& field, bool fromTop)
{
    WorkArea* wa = area("Search");
    if (!wa)
        return false;
    std::string k(key);
    rtrimBlanks(k);
    k = upperText(k);
    if (k.empty())
        return false;
    if (field != 0 && !checkField(*wa, field, "Search"))
        return false;
    refreshCount(*wa);

    const std::int64_t origRec = wa->recNo;
    const bool origEof = wa->eof, origBof = wa->bof;
    const std::size_t recLen = static_cast<std::size_t>(wa->recordLen);
    const std::int64_t perBlock = std::max<std::int64_t>(1, 65520 / wa->recordLen);
    std::int64_t next = fromTop ? 1 : std::max<std::int64_t>(origRec, 0) + 1;
    std::string block;
    while (next <= wa->recCount) {
        const std::int64_t count = std::min(perBlock, wa->recCount - next + 1);
        block.assign(static_cast<std::size_t>(count) * recLen, '\0');
        std::int64_t got = wa->dbf.readAt(wa->recordOffset(next), block.data(), block.size());
        if (got <= 0)
            break;
        block.resize(static_cast<std::size_t>(got) / recLen * recLen);
        if (block.empty())
            break;
        block = upperText(std::move(block));
        std::size_t from = 0;
        while ((from = block.find(k, from)) != std::string::npos) {
            const std::size_t idx = from / recLen;
            const std::size_t within = from % recLen;
            int hitField = 0;
            for (std::size_t i = 0; i < wa->fields.size(); ++i) {
                const FieldInfo& f = wa->fields[i];
                const auto fo = static_cast<std::size_t>(f.offset);
                if (within >= fo && within + k.size() <= fo + static_cast<std::size_t>(f.length)) {
                    hitField = f.type == 'M' ? 0 : static_cast<int>(i) + 1;
                    break;
                }
            }
            if (hitField != 0 && (field == 0 || field == hitField)) {
                const std::int64_t r = next + static_cast<std::int64_t>(idx);
                if (!readRecord(*wa, r))
                    return false;
                wa->eof = wa->bof = false;
                if (isVisible(*wa)) {
                    field = hitField;
                    return true;
                }
                from = (idx + 1) * recLen; // the rest of this record is hidden too
                continue;
            }
            ++from;
        }
        next += static_cast<std::int64_t>(block.size() / recLen);
    }
    field = 0;
    if (origRec >= 1 && origRec <= wa->recCount) {
        readRecord(*wa, origRec);
    } else {
        blankRecord(*wa);
        wa->recNo = origRec;
    }
    wa->eof = origEof;
    wa->bof = origBof;
    return false;
}

} // namespace qb::engine
