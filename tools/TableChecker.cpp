#include "TableChecker.h"

#include "FieldDecoder.h"

#include <cstdio>
#include <set>

namespace qb::tools {

namespace {

std::string hexByte(int b)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "0x%02X", b & 0xFF);
    return buf;
}

std::string printable(const std::string& s)
{
    std::string out;
    for (char c : s) {
        auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F)
            out += c;
        else
            out += "\\x" + hexByte(b).substr(2);
    }
    return out;
}

bool isDbaseType(char t)
{
    return t == 'C' || t == 'N' || t == 'F' || t == 'L' || t == 'D' || t == 'M';
}

} // namespace

void TableChecker::report(const std::string& kind, std::string text)
{
    if (++m_perKind[kind] <= kMaxPerKind)
        m_problems.push_back(std::move(text));
}

std::vector<std::string> TableChecker::check(const std::string& path)
{
    m_problems.clear();
    m_perKind.clear();
    TableImage t(*m_fs);
    if (!t.load(path))
        return {"cannot read: " + t.error()};
    checkHeader(t);
    // Descriptors are worth describing even when they make records unusable.
    if (!t.fields().empty())
        checkDescriptors(t);
    if (!t.usable()) {
        m_problems.push_back(t.layoutProblem());
        return m_problems;
    }
    if (t.tooLarge()) {
        m_problems.push_back("file is " + std::to_string(t.size()) + " bytes, more than a table can hold ("
                             + std::to_string(TableImage::kMaxTableBytes)
                             + " bytes: records beyond would lie in the lock regions); its records are not checked");
        return m_problems;
    }
    checkSize(t);
    checkRecords(t);
    checkMemos(t);
    for (const auto& [kind, count] : m_perKind)
        if (count > kMaxPerKind)
            m_problems.push_back("... and " + std::to_string(count - kMaxPerKind) + " more: " + kind);
    return m_problems;
}

void TableChecker::checkHeader(const TableImage& t)
{
    if (t.size() < 32 || (t.version() & 7) < 2 || (t.version() & 7) > 3)
        return; // the layout problem says it all
    if (t.month() < 1 || t.month() > 12 || t.day() < 1 || t.day() > 31)
        report("date", "header date " + std::to_string(t.year()) + "-" + std::to_string(t.month()) + "-"
                           + std::to_string(t.day()) + " is not a valid date");
    if (t.isDbase2())
        return;
    const int v = t.version();
    if ((v & 0x78) != 0 && v != 0x8B)
        report("version", "version byte " + hexByte(v) + " has unknown bits set");
    std::int64_t n = static_cast<std::int64_t>(t.fields().size());
    std::int64_t expected = 32 * n + 33;
    if (t.terminatorOffset() < 0) {
        report("terminator", "no header terminator 0x0D after the " + std::to_string(n) + " field descriptors");
    } else if (t.headerLength() != expected && t.headerLength() >= 33) {
        report("header length", "header length " + std::to_string(t.headerLength()) + " does not match "
                                    + std::to_string(n) + " fields (expected " + std::to_string(expected) + ")");
    }
}

void TableChecker::checkDescriptors(const TableImage& t)
{
    std::set<std::string> seen;
    std::int64_t sum = 1;
    bool anyMemo = false;
    int index = 0;
    for (const auto& f : t.fields()) {
        ++index;
        std::string who = "field " + std::to_string(index) + " (" + printable(f.name) + ")";
        sum += f.length;
        if (f.name.empty()) {
            report("field name", "field " + std::to_string(index) + " has an empty name");
        } else {
            bool ok = f.name.size() <= 10 && f.name[0] >= 'A' && f.name[0] <= 'Z';
            for (char c : f.name)
                ok = ok && ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_');
            if (!ok)
                report("field name", who + ": name is not 1 to 10 upper-case letters, digits or _");
            if (!seen.insert(f.name).second)
                report("field name", who + ": name occurs twice");
        }
        if (!isDbaseType(f.type)) {
            report("field type", who + ": type " + printable(std::string(1, f.type)) + " is not one of C, N, F, L, D, M");
            continue;
        }
        anyMemo = anyMemo || f.type == 'M';
        auto lengthProblem = [&](const std::string& what) {
            report("field length", who + ": length " + std::to_string(f.length) + " " + what);
        };
        switch (f.type) {
        case 'C':
        case 'N':
        case 'F':
            if (f.length == 0)
                lengthProblem("is not allowed");
            break;
        case 'L': if (f.length != 1) lengthProblem("should be 1"); break;
        case 'D': if (f.length != 8) lengthProblem("should be 8"); break;
        case 'M': if (f.length != 10) lengthProblem("should be 10"); break;
        default: break;
        }
        if (f.decimals != 0 && f.type != 'N' && f.type != 'F')
            report("decimals", who + ": type " + std::string(1, f.type) + " cannot have decimals ("
                                   + std::to_string(f.decimals) + ")");
        else if (f.decimals != 0 && f.decimals >= f.length)
            report("decimals", who + ": " + std::to_string(f.decimals) + " decimals do not fit in length "
                                   + std::to_string(f.length));
    }
    if (sum != t.recordLength())
        report("record length", "record length " + std::to_string(t.recordLength())
                                    + " does not match the fields (1 + their lengths = " + std::to_string(sum) + ")");
    if (t.isDbase2())
        return;
    if (t.memoFlag() && !anyMemo && t.version() != 0x8B)
        report("memo flag", "version byte " + hexByte(t.version()) + " announces a memo file but no field is a memo");
    if (!t.memoFlag() && anyMemo)
        report("memo flag", "memo fields present but version byte " + hexByte(t.version())
                                + " does not announce a memo file");
}

void TableChecker::checkSize(const TableImage& t)
{
    const std::int64_t h = t.headerLength(), r = t.recordLength(), count = t.headerCount();
    const std::int64_t dataEnd = h + count * r;
    const std::int64_t size = t.size();
    const std::string records = std::to_string(count) + (count == 1 ? " record" : " records");
    if (size < dataEnd) {
        report("size", "file is too short: " + records + " need " + std::to_string(dataEnd + 1) + " bytes, the file has "
                           + std::to_string(size) + " (" + std::to_string(t.recordsInFile()) + " whole records)");
        return;
    }
    if (size == dataEnd) {
        report("end byte", "end byte 0x1A is missing after the last record");
        return;
    }
    const int lastByte = t.lastByte();
    if (lastByte < 0) {
        report("size", "the end of the file cannot be read");
        return;
    }
    const char last = static_cast<char>(lastByte);
    if (size == dataEnd + 1) {
        if (last != '\x1A')
            report("end byte", "byte after the last record is " + hexByte(last) + ", not the end byte 0x1A");
        return;
    }
    // More bytes than the header count accounts for.
    const std::int64_t extra = size - dataEnd;
    const std::int64_t more = (last == '\x1A' ? extra - 1 : extra) / r;
    const std::int64_t rest = (last == '\x1A' ? extra - 1 : extra) % r;
    if (more > 0 && rest == 0)
        report("size", "file holds " + std::to_string(more) + " whole records beyond the header count of "
                           + std::to_string(count) + " (the header was not rewritten after an append)");
    else
        report("size", "file has " + std::to_string(extra) + " bytes after the last of the " + records
                           + " instead of the end byte 0x1A");
}

void TableChecker::checkRecords(const TableImage& t)
{
    const std::int64_t n = std::min<std::int64_t>(t.recordsInFile(), t.headerCount());
    for (std::int64_t i = 1; i <= n; ++i) {
        std::string_view rec = t.record(i);
        if (rec.empty()) {
            report("read", "record " + std::to_string(i) + " cannot be read (the file shrank while it was checked)");
            return;
        }
        char flag = rec[0];
        if (flag != ' ' && flag != '*')
            reportLazily("deletion flag", [&] {
                return "record " + std::to_string(i) + ": deletion flag is " + hexByte(flag) + ", not blank or *";
            });
        checkValues(i, rec, t.fields());
    }
}

// Values no station writes: a number field holding letters reads as 0 at
// every station, so the value it had is lost.
void TableChecker::checkValues(std::int64_t recNo, std::string_view rec, const std::vector<RawField>& fields)
{
    for (const RawField& f : fields) {
        if (f.offset + f.length > static_cast<int>(rec.size()))
            return;
        std::string_view v = TableImage::fieldBytes(rec, f);
        auto where = [&] { return "record " + std::to_string(recNo) + ", field " + printable(f.name) + ": "; };
        auto quoted = [&] { return "\"" + printable(std::string(v)) + "\""; };
        switch (f.type) {
        case 'N':
        case 'F': {
            std::string json;
            double d = 0;
            bool ok = f.decimals == 0 ? FieldDecoder::parseInteger(v, json) : FieldDecoder::parseNumber(v, d);
            if (!ok)
                reportLazily("number", [&] { return where() + quoted() + " is not a number"; });
            break;
        }
        case 'D': {
            bool digits = true, blank = true;
            for (char c : v) {
                digits = digits && c >= '0' && c <= '9';
                blank = blank && c == ' ';
            }
            if (!digits && !blank)
                reportLazily("date", [&] { return where() + quoted() + " is not a date (YYYYMMDD)"; });
            break;
        }
        case 'L':
            if (v.size() == 1 && std::string_view("TtFfYyNn? ").find(v[0]) == std::string_view::npos)
                reportLazily("logical",
                             [&] { return where() + quoted() + " is not a logical value (T, F, Y, N, ? or blank)"; });
            break;
        default: break;
        }
    }
}

void TableChecker::checkMemos(const TableImage& t)
{
    std::vector<const RawField*> memoFields;
    for (const auto& f : t.fields())
        if (f.type == 'M')
            memoFields.push_back(&f);
    if (!t.memoFlag() && memoFields.empty())
        return;
    std::string memoPath = t.findMemoFile();
    if (memoPath.empty()) {
        report("memo file", "memo file (.dbt) is missing");
        return;
    }
    std::string memoName = memoPath.substr(memoPath.find_last_of('/') + 1);
    MemoImage memo(*m_fs);
    if (!memo.load(memoPath)) {
        report("memo file", memoName + ": cannot read: " + memo.error());
        return;
    }
    if (!memo.hasHeader()) {
        report("memo file", memoName + " is " + std::to_string(memo.size()) + " bytes long, shorter than its 512-byte header");
        return;
    }
    const std::int64_t nextFree = memo.nextFreeBlock();
    const std::int64_t blocksInFile = (memo.size() + MemoImage::kBlockSize - 1) / MemoImage::kBlockSize;
    bool nextFreeSane = true;
    if (nextFree < 1) {
        report("memo header", memoName + ": next free block in the header is 0");
        nextFreeSane = false;
    } else if (nextFree > blocksInFile) {
        report("memo header", memoName + ": next free block " + std::to_string(nextFree)
                                  + " lies beyond the end of the file (" + std::to_string(memo.size()) + " bytes)");
        nextFreeSane = false;
    }
    const std::int64_t n = std::min<std::int64_t>(t.recordsInFile(), t.headerCount());
    for (std::int64_t i = 1; i <= n; ++i) {
        std::string_view rec = t.record(i);
        if (rec.empty())
            return;
        for (const RawField* f : memoFields) {
            std::string where = "record " + std::to_string(i) + ", field " + printable(f->name) + ": ";
            std::string_view stored = TableImage::fieldBytes(rec, *f);
            std::int64_t block = 0;
            if (!MemoImage::parsePointer(stored, block)) {
                report("memo pointer", where + "memo pointer \"" + printable(std::string(stored)) + "\" is not a number");
                continue;
            }
            if (block == 0)
                continue;
            MemoImage::Memo m = memo.read(block);
            switch (m.status) {
            case MemoImage::Status::OutsideFile:
                report("memo pointer", where + "memo block " + std::to_string(block) + " lies outside " + memoName + " ("
                                           + std::to_string(memo.size()) + " bytes)");
                continue;
            case MemoImage::Status::NoEndByte:
                report("memo chain", where + "memo at block " + std::to_string(block)
                                         + " runs to the end of the file without the end byte 0x1A");
                continue;
            case MemoImage::Status::TooLong:
                report("memo chain", where + "memo at block " + std::to_string(block) + " has no end byte 0x1A within "
                                         + std::to_string(MemoImage::kMaxMemoBytes) + " bytes");
                continue;
            case MemoImage::Status::ReadError:
                report("memo chain", where + "memo at block " + std::to_string(block) + " cannot be read");
                continue;
            case MemoImage::Status::Ok: break;
            }
            if (nextFreeSane && m.lastBlock >= nextFree)
                report("memo chain", where + "memo at block " + std::to_string(block) + " reaches block "
                                         + std::to_string(m.lastBlock) + ", past the next free block "
                                         + std::to_string(nextFree) + " (a later memo would overwrite it)");
        }
    }
}

} // namespace qb::tools
