// Conversion between the stored text of a field and its typed value. Every
// value written and read again comes back unchanged (within what the field
// width and decimals can hold). Number parsing and formatting never depend on
// the process locale: the stored form always uses "." as decimal point.
#pragma once

#include "engine/Engine.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace qb::engine {

struct DateSettings {
    DateOrder order = DateOrder::MonthDayYear;
    bool century = false;
    int currentYear = 2000; // pivot for two-digit years without a stored century
};

class RecordCodec {
public:
    // Fills value from the field's stored bytes (exactly field.length bytes).
    static void decode(const FieldInfo& field, std::string_view stored, FieldValue& value, const DateSettings& ds);
    // Stored bytes of the value, exactly field.length bytes.
    static std::string encode(const FieldInfo& field, const FieldValue& value, const DateSettings& ds);
    // Sets the blank value of the field (C blanks, numbers 0, L false, D template).
    static void clear(const FieldInfo& field, FieldValue& value, const DateSettings& ds);

    // Trimmed text to number; blank or unreadable text gives 0.
    static std::int64_t parseInteger(std::string_view text);
    static double parseReal(std::string_view text);

    // Blank date text of the format ("  /  /  ", "  .  .  ", ...).
    static std::string blankDate(const DateSettings& ds);
    // Stored YYYYMMDD (or 8 blanks) to date text in the format.
    static std::string dateText(std::string_view stored, const DateSettings& ds);
    // Date text in the format to stored YYYYMMDD, or 8 blanks for a blank or
    // unreadable date. hint is a previously stored YYYYMMDD (0 = none) whose
    // century is kept when the text has a two-digit year of the same date.
    static std::string storedDate(std::string_view text, std::int64_t hint, const DateSettings& ds);
};

} // namespace qb::engine
