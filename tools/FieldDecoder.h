// Turns the stored bytes of one field into the value `qbtool dump` shows.
#pragma once

#include "MemoImage.h"
#include "TableImage.h"
#include "platform/CodePage.h"

#include <string>
#include <string_view>

namespace qb::tools {

struct DecodedValue {
    enum class Kind { Text, Integer, Number, Logical };
    Kind kind = Kind::Text;
    std::string text;     // Text: UTF-8; Integer/Number: JSON number text
    bool logical = false;
    std::string problem;  // non-empty when the stored bytes were unreadable
};

class FieldDecoder {
public:
    // memo may be null (no memo file); it must outlive the decoder.
    FieldDecoder(platform::CodePage codePage, const MemoImage* memo) : m_codePage(codePage), m_memo(memo) {}

    // C: text without trailing blanks; N/F without decimals: an integer
    // (blank or unreadable 0); with decimals: a number; L: true for T/t/Y/y;
    // D: the eight digits or ""; M: the memo text ("" when none).
    DecodedValue decode(const RawField& field, std::string_view stored) const;

    // Integer text of an N/F field without decimals; false when unreadable.
    static bool parseInteger(std::string_view stored, std::string& json);
    // Number of an N/F field with decimals; false when unreadable.
    static bool parseNumber(std::string_view stored, double& value);

private:
    platform::CodePage m_codePage;
    const MemoImage* m_memo;
};

} // namespace qb::tools
