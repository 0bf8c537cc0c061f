#include "TableDumper.h"

#include "JsonText.h"

#include <algorithm>

namespace qb::tools {

namespace {

constexpr std::size_t kMaxProblems = 20;
constexpr std::size_t kMaxColumnWidth = 40;

// Characters, not bytes, of UTF-8 text: enough for aligning columns.
std::size_t displayWidth(const std::string& s)
{
    return static_cast<std::size_t>(std::count_if(s.begin(), s.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

std::string cutToWidth(const std::string& s, std::size_t width)
{
    if (displayWidth(s) <= width)
        return s;
    std::size_t chars = 0, i = 0;
    for (; i < s.size(); ++i) {
        if ((static_cast<unsigned char>(s[i]) & 0xC0) != 0x80) {
            if (chars == width - 1)
                break;
            ++chars;
        }
    }
    return s.substr(0, i) + "~";
}

std::string cellText(const DecodedValue& v)
{
    switch (v.kind) {
    case DecodedValue::Kind::Logical: return v.logical ? "T" : "F";
    case DecodedValue::Kind::Integer:
    case DecodedValue::Kind::Number: return v.text;
    case DecodedValue::Kind::Text: break;
    }
    // Memo lines and stray control characters would break the columns.
    std::string s;
    for (char c : v.text)
        s += (c == '\n') ? '|' : (static_cast<unsigned char>(c) < 0x20 ? ' ' : c);
    return s;
}

} // namespace

TableDumper::TableDumper(const TableImage& table, const MemoImage* memo, platform::CodePage codePage)
    : m_table(table), m_decoder(codePage, memo)
{
    for (const auto& f : table.fields()) {
        std::string key = platform::toUtf8(f.name, codePage);
        for (auto& c : key)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        m_keys.push_back(JsonText::quote(key));
    }
}

DecodedValue TableDumper::decodeField(std::int64_t recNo, std::string_view record, const RawField& f)
{
    DecodedValue v = m_decoder.decode(f, TableImage::fieldBytes(record, f));
    if (!v.problem.empty()) {
        if (m_problems.size() < kMaxProblems)
            m_problems.push_back("record " + std::to_string(recNo) + ", field " + f.name + ": " + v.problem);
        else
            ++m_suppressed;
    }
    return v;
}

void TableDumper::writeJson(std::ostream& out)
{
    const auto& fields = m_table.fields();
    std::int64_t n = m_table.recordsInFile();
    std::string line;
    for (std::int64_t r = 1; r <= n; ++r) {
        std::string_view rec = m_table.record(r);
        if (rec.empty()) {
            m_problems.push_back("record " + std::to_string(r) + " cannot be read (the file shrank)");
            break;
        }
        line = "{\"_recno\": " + std::to_string(r) + ", \"_deleted\": " + (rec[0] == '*' ? "true" : "false");
        for (std::size_t i = 0; i < fields.size(); ++i) {
            DecodedValue v = decodeField(r, rec, fields[i]);
            line += ", ";
            line += m_keys[i];
            line += ": ";
            switch (v.kind) {
            case DecodedValue::Kind::Text: line += JsonText::quote(v.text); break;
            case DecodedValue::Kind::Logical: line += v.logical ? "true" : "false"; break;
            case DecodedValue::Kind::Integer:
            case DecodedValue::Kind::Number: line += v.text; break;
            }
        }
        line += "}\n";
        out << line;
    }
    if (m_suppressed > 0)
        m_problems.push_back("... and " + std::to_string(m_suppressed) + " more unreadable values");
    m_suppressed = 0;
}

void TableDumper::writeTable(std::ostream& out)
{
    const auto& fields = m_table.fields();
    const std::int64_t n = m_table.recordsInFile();
    std::vector<std::string> header = {"#", "del"};
    for (const auto& f : fields)
        header.push_back(cellText(m_decoder.decode(RawField{f.name, 'C', 0, 0, 0}, f.name)));
    auto rowOf = [&](std::int64_t r, std::string_view rec, bool collect) {
        std::vector<std::string> row = {std::to_string(r), rec[0] == '*' ? "*" : ""};
        for (const auto& f : fields) {
            DecodedValue v = collect ? decodeField(r, rec, f) : m_decoder.decode(f, TableImage::fieldBytes(rec, f));
            row.push_back(cutToWidth(cellText(v), kMaxColumnWidth));
        }
        return row;
    };
    // Two passes over the file, so that only one record is held at a time:
    // the first finds the column widths (cells are cut to a bounded width),
    // the second prints.
    std::vector<std::size_t> widths;
    for (const auto& h : header)
        widths.push_back(displayWidth(h));
    std::int64_t readable = 0;
    for (std::int64_t r = 1; r <= n; ++r) {
        std::string_view rec = m_table.record(r);
        if (rec.empty()) {
            m_problems.push_back("record " + std::to_string(r) + " cannot be read (the file shrank)");
            break;
        }
        std::vector<std::string> row = rowOf(r, rec, true);
        for (std::size_t i = 0; i < row.size(); ++i)
            widths[i] = std::max(widths[i], displayWidth(row[i]));
        readable = r;
    }
    auto emit = [&](const std::vector<std::string>& row) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            bool numeric = i == 0 || (i >= 2 && (fields[i - 2].type == 'N' || fields[i - 2].type == 'F'));
            std::size_t w = displayWidth(row[i]);
            std::string pad(widths[i] > w ? widths[i] - w : 0, ' ');
            line += numeric ? pad + row[i] : row[i] + pad;
            if (i + 1 < row.size())
                line += "  ";
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out << line << '\n';
    };
    emit(header);
    for (std::int64_t r = 1; r <= readable; ++r) {
        std::string_view rec = m_table.record(r);
        if (rec.empty())
            break;
        emit(rowOf(r, rec, false));
    }
    out << "(" << readable << (readable == 1 ? " record" : " records") << ")\n";
    if (m_suppressed > 0)
        m_problems.push_back("... and " + std::to_string(m_suppressed) + " more unreadable values");
    m_suppressed = 0;
}

} // namespace qb::tools
