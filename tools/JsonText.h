// Building blocks of the JSON that `qbtool dump --json` prints.
#pragma once

#include <string>
#include <string_view>

namespace qb::tools {

// Static helpers only; no state.
class JsonText {
public:
    // A quoted JSON string. Expects UTF-8; bytes that do not form valid UTF-8
    // are written as U+FFFD so the output always parses.
    static std::string quote(std::string_view utf8);
    // The shortest decimal form that reads back as the same double. Non-finite
    // values, which JSON cannot express, become 0.
    static std::string number(double value);
};

} // namespace qb::tools
