// The quick keys of the board window: "1" and "2" set the own remark to an
// assigned text, "=" reloads, other digits and letters start the find box.
// Plain C++; the window turns a step into calls.
#pragma once

#include <string>

namespace qb::board {

struct QuickKeyStep {
    enum Kind {
        FocusFind, // the find box shows: it takes the key
        SetRemark, // text: the assigned text (placeholders not yet expanded)
        Reload,    // "="
        Find,      // open the find box with the key as its text
        Ignore,
    };
    Kind kind = Ignore;
    std::string text;
    bool operator==(const QuickKeyStep&) const = default;
};

// What a character key does. key is the key's character (0 for keys without
// one); key1/key2 are the assigned texts ("" when none).
QuickKeyStep quickKeyStep(char32_t key, bool findVisible, bool gridVisible, const std::string& key1,
                          const std::string& key2);

// "&Show Key Assignments": "No Quick keys assigned", or "Quick Key
// assignments\n\n" and a line "1 = text" / "2 = text" per assigned key.
std::string keyAssignmentsText(const std::string& key1, const std::string& key2);

} // namespace qb::board
