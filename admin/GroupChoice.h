// The administrator's group pop-up without the menu: the current group (the
// one last chosen or typed, written into a person's group by the board) and
// the group items the menu offers after its four fixed items.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qb::admin {

class GroupChoice {
public:
    static constexpr const char* kTitle = "        Select Group Name       ";
    static constexpr const char* kCreateItem = "Create New Group";
    static constexpr const char* kPromptTitle = "Enter New Group";
    static constexpr int kLimit = 40; // characters of the group field

    const std::string& current() const { return m_current; }
    // Cut to 40 characters.
    void setCurrent(const std::string& group);

    // Group items after "Create New Group", in the order added.
    const std::vector<std::string>& items() const { return m_items; }
    // The board's groups as the View menu shows them ("&" as "+").
    void setGroups(const std::vector<std::string>& groups);
    // Appends an item unless one with exactly this caption is there; false then.
    bool addItem(const std::string& caption);

    // "Create New Group" answered with text (nothing: Cancel, which clears
    // the current group and returns false). Every "&" becomes "+"; the text
    // becomes the current group and, unless blank, an item of its own.
    bool create(const std::optional<std::string>& answer);
    // A group item was chosen.
    void select(const std::string& caption) { setCurrent(caption); }

    // "&" -> "+": menus show "&" as a shortcut marker.
    static std::string shown(std::string group);
    // At most 40 characters (UTF-8 code points).
    static std::string cut(const std::string& utf8);

private:
    std::string m_current;
    std::vector<std::string> m_items;
};

} // namespace qb::admin
