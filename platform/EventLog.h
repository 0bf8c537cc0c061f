// The operating system's application event log, behind an interface so tests
// can capture what would be reported.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace qb::platform {

class EventLog {
public:
    virtual ~EventLog() = default;
    virtual void error(std::string_view text) = 0;
    virtual void info(std::string_view text) = 0;
};

// syslog with the ident "Quellboard".
class SyslogEventLog final : public EventLog {
public:
    SyslogEventLog();
    ~SyslogEventLog() override;
    void error(std::string_view text) override;
    void info(std::string_view text) override;
    static SyslogEventLog& instance();
};

// Keeps every entry in memory, for tests and for tools that print them.
class MemoryEventLog final : public EventLog {
public:
    struct Entry {
        bool isError;
        std::string text;
    };
    void error(std::string_view text) override { entries.push_back({true, std::string(text)}); }
    void info(std::string_view text) override { entries.push_back({false, std::string(text)}); }
    bool contains(std::string_view text) const
    {
        for (const auto& e : entries)
            if (e.text.find(text) != std::string::npos)
                return true;
        return false;
    }
    std::vector<Entry> entries;
};

} // namespace qb::platform
