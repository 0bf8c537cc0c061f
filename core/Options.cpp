#include "Options.h"

namespace qb::admin {

namespace {
std::string toText(const std::array<bool, kOptionCount + 1>& a, const char* factory)
{
    std::string s = factory; // characters past the options keep the factory tail
    for (int n = 1; n <= kOptionCount; ++n)
        s[static_cast<std::size_t>(n - 1)] = a[static_cast<std::size_t>(n)] ? 't' : 'f';
    return s;
}
void fromText(std::array<bool, kOptionCount + 1>& a, std::string text, const char* factory)
{
    if (text.size() < static_cast<std::size_t>(kOptionCount))
        text = factory;
    for (int n = 1; n <= kOptionCount; ++n)
        a[static_cast<std::size_t>(n)] = text[static_cast<std::size_t>(n - 1)] == 't';
}
} // namespace

void Options::setFromText(const std::string& values, const std::string& rights)
{
    fromText(value, values, kFactoryValues);
    fromText(right, rights, kFactoryRights);
}

std::string Options::valuesText() const { return toText(value, kFactoryValues); }
std::string Options::rightsText() const { return toText(right, kFactoryRights); }

const char* builtInCaption(int n)
{
    static const char* const kCaptions[kOptionCount + 1] = {
        "",
        "Change others' remarks",
        "Warn of change to other's remark",
        "Always show your remark as \"in\" on start up",
        "Always set your remark to \"out\" on program exit",
        "Change \"in\" or \"in but unavailable\" to \"out\" on exit",
        "New message sound",
        "New messages bring the program into view",
        "Change remark background colors",
        "Show time and date in the last column when remarks change",
        "Disable the message system",
        "Confirm program exit",
        "Automatically enter name and password on start up",
        "Log remark changes",
        "Switch time and date from US to International format",
        "Alternate row background colors",
        "Show the icon button in the Windows taskbar",
        "Change between \"in\" and \"out\" based on user activity",
        "Disable the Send to everyone/group button",
        "Show in the taskbar",
        "Prevent changes to the fourth column",
        "Enable Refresh item on main menu",
        "Enable message encryption",
        "Hide fourth column",
    };
    return n >= 1 && n <= kOptionCount ? kCaptions[n] : "";
}

const IntervalEntry kRefreshIntervals[6] = {{"4 seconds", 8},   {"30 seconds", 60},  {"1 minute", 120},
                                            {"5 minutes", 600}, {"10 minutes", 1200}, {"20 minutes", 2400}};
const IntervalEntry kMessageIntervals[5] = {
    {"8 seconds", 16}, {"40 seconds", 80}, {"2 minutes", 240}, {"8 minutes", 960}, {"1 hour", 7200}};

} // namespace qb::admin
