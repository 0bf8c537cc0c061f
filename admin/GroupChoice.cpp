#include "GroupChoice.h"

#include <algorithm>

namespace qb::admin {

std::string GroupChoice::shown(std::string group)
{
    std::replace(group.begin(), group.end(), '&', '+');
    return group;
}

std::string GroupChoice::cut(const std::string& utf8)
{
    int chars = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) != 0x80 && ++chars > kLimit)
            return utf8.substr(0, i);
    }
    return utf8;
}

void GroupChoice::setCurrent(const std::string& group)
{
    m_current = cut(group);
}

void GroupChoice::setGroups(const std::vector<std::string>& groups)
{
    for (const std::string& g : groups)
        if (!g.empty())
            addItem(shown(g));
}

bool GroupChoice::addItem(const std::string& caption)
{
    if (std::find(m_items.begin(), m_items.end(), caption) != m_items.end())
        return false;
    m_items.push_back(caption);
    return true;
}

bool GroupChoice::create(const std::optional<std::string>& answer)
{
    if (!answer) {
        m_current.clear();
        return false;
    }
    std::string text = shown(*answer);
    const auto b = text.find_first_not_of(' ');
    text = b == std::string::npos ? std::string() : cut(text.substr(b, text.find_last_not_of(' ') - b + 1));
    m_current = text;
    if (!text.empty()) // a blank answer takes the person out of his group; it makes no item
        addItem(text);
    return true;
}

} // namespace qb::admin
