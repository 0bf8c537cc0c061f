// Builds the bytes of a dBASE III table in a test, so damaged variants can be
// made by changing single bytes of a sound file.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qb::test {

struct TestField {
    std::string name;
    char type = 'C';
    int length = 1;
    int decimals = 0;
};

class TableBytes {
public:
    explicit TableBytes(std::vector<TestField> fields) : m_fields(std::move(fields)) {}

    // Values in stored form; C and D are left-aligned, N/F/M right-aligned
    // and each is padded or cut to the field length.
    TableBytes& add(const std::vector<std::string>& values, bool deleted = false)
    {
        std::string rec(1, deleted ? '*' : ' ');
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            const auto& f = m_fields[i];
            std::string v = i < values.size() ? values[i] : std::string();
            v = v.substr(0, static_cast<std::size_t>(f.length));
            std::string pad(static_cast<std::size_t>(f.length) - v.size(), ' ');
            bool right = f.type == 'N' || f.type == 'F' || f.type == 'M';
            rec += right ? pad + v : v + pad;
        }
        m_records.push_back(rec);
        return *this;
    }

    int headerLength() const { return 32 * static_cast<int>(m_fields.size()) + 33; }
    int recordLength() const
    {
        int r = 1;
        for (const auto& f : m_fields)
            r += f.length;
        return r;
    }
    // Offset of record n (1-based) in the built file.
    std::size_t recordOffset(int n) const
    {
        return static_cast<std::size_t>(headerLength() + (n - 1) * recordLength());
    }

    std::string build() const
    {
        bool memo = false;
        for (const auto& f : m_fields)
            memo = memo || f.type == 'M';
        std::string h(static_cast<std::size_t>(headerLength()), '\0');
        h[0] = static_cast<char>(memo ? 0x83 : 0x03);
        h[1] = 126;
        h[2] = 12;
        h[3] = 8;
        put32(h, 4, static_cast<std::uint32_t>(m_records.size()));
        put16(h, 8, headerLength());
        put16(h, 10, recordLength());
        for (std::size_t i = 0; i < m_fields.size(); ++i) {
            std::size_t d = 32 + 32 * i;
            h.replace(d, m_fields[i].name.size(), m_fields[i].name);
            h[d + 11] = m_fields[i].type;
            h[d + 16] = static_cast<char>(m_fields[i].length);
            h[d + 17] = static_cast<char>(m_fields[i].decimals);
        }
        h[32 + 32 * m_fields.size()] = '\x0D';
        for (const auto& r : m_records)
            h += r;
        h += '\x1A';
        return h;
    }

    static void put16(std::string& s, std::size_t off, int v)
    {
        s[off] = static_cast<char>(v & 0xFF);
        s[off + 1] = static_cast<char>((v >> 8) & 0xFF);
    }
    static void put32(std::string& s, std::size_t off, std::uint32_t v)
    {
        for (int i = 0; i < 4; ++i)
            s[off + static_cast<std::size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
    }

private:
    std::vector<TestField> m_fields;
    std::vector<std::string> m_records;
};

} // namespace qb::test
