#include "EventLog.h"

#include <string>
#include <syslog.h>

namespace qb::platform {

SyslogEventLog::SyslogEventLog() { ::openlog("Quellboard", LOG_PID, LOG_USER); }
SyslogEventLog::~SyslogEventLog() { ::closelog(); }

void SyslogEventLog::error(std::string_view text)
{
    std::string s(text);
    ::syslog(LOG_ERR, "%s", s.c_str());
}

void SyslogEventLog::info(std::string_view text)
{
    std::string s(text);
    ::syslog(LOG_INFO, "%s", s.c_str());
}

SyslogEventLog& SyslogEventLog::instance()
{
    static SyslogEventLog log;
    return log;
}

} // namespace qb::platform
