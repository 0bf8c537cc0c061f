// Builds the bytes of a memo file in a test: each memo in fresh 512-byte
// blocks, lines joined with CR LF and ended by 0x1A.
#pragma once

#include "tests/tools/TableBytes.h"

#include <string>

namespace qb::test {

class MemoBytes {
public:
    MemoBytes() : m_bytes(512, '\0') {}

    // Appends a memo; returns its first block.
    int add(const std::string& stored)
    {
        int block = static_cast<int>(m_bytes.size() / 512);
        std::string body = stored + '\x1A';
        body.resize((body.size() + 511) / 512 * 512, '\0');
        m_bytes += body;
        return block;
    }

    std::string build() const
    {
        std::string b = m_bytes;
        TableBytes::put32(b, 0, static_cast<std::uint32_t>(b.size() / 512));
        if (b.size() == 512)
            b += '\x1A'; // an empty memo file
        return b;
    }

private:
    std::string m_bytes;
};

} // namespace qb::test
