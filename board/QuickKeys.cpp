#include "board/QuickKeys.h"

namespace qb::board {

QuickKeyStep quickKeyStep(char32_t key, bool findVisible, bool gridVisible, const std::string& key1,
                          const std::string& key2)
{
    if (key == 0)
        return {};
    if (findVisible)
        return {QuickKeyStep::FocusFind, {}};
    if (key == U'1' && !key1.empty())
        return {QuickKeyStep::SetRemark, key1};
    if (key == U'2' && !key2.empty())
        return {QuickKeyStep::SetRemark, key2};
    if (key == U'=')
        return {QuickKeyStep::Reload, {}};
    // Digits and the characters from "A" to "z" in character order, so also
    // "[", "\", "]", "^", "_" and the back quote.
    if (gridVisible && ((key >= U'0' && key <= U'9') || (key >= U'A' && key <= U'z')))
        return {QuickKeyStep::Find, std::string(1, static_cast<char>(key))};
    return {};
}

std::string keyAssignmentsText(const std::string& key1, const std::string& key2)
{
    std::string lines;
    if (!key1.empty())
        lines += "1 = " + key1 + "\n";
    if (!key2.empty())
        lines += "2 = " + key2 + "\n";
    return lines.empty() ? "No Quick keys assigned" : "Quick Key assignments\n\n" + lines;
}

} // namespace qb::board
