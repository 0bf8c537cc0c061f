#include "StartupChecks.h"

#include "engine/TTzDbf.h"
#include "platform/FileOps.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

namespace qb::board {

std::string StartupChecks::programFileName(const std::string& argv0)
{
    auto slash = argv0.rfind('/');
    return platform::asciiLower(slash == std::string::npos ? argv0 : argv0.substr(slash + 1));
}

bool StartupChecks::skipsSingleInstance(const std::string& programFileName)
{
    return !programFileName.empty() && programFileName[0] == 'm';
}

std::string StartupChecks::dataDirArgument(const std::vector<std::string>& args)
{
    return args.size() >= 3 ? args[2] : std::string();
}

std::string StartupChecks::startedText(const platform::Clock& clock)
{
    platform::LocalTime t = platform::toLocal(clock.now());
    char buf[64];
    std::snprintf(buf, sizeof buf, "Started %02d/%02d/%04d %02d:%02d:%02d", t.month, t.day, t.year, t.hour, t.minute,
                  t.second);
    return buf;
}

std::vector<std::string> StartupChecks::settingsCheck(bool settingsWritable, platform::EventLog& log)
{
    if (settingsWritable)
        return {};
    log.error("Error can not write to Qb3local.ini");
    return {"ERROR: Can not write to ", "file Qb3local.ini in the ", "Windows directory. "};
}

std::vector<std::string> StartupChecks::namesTableCheck(const std::string& dataDir, platform::EventLog& log)
{
    std::string dir = dataDir.empty() ? std::string(".") : dataDir;
    if (platform::fileExists(engine::TTzDbf::resolvePath(dir + "/qb3.dbf")))
        return {};
    std::string shown = dir.back() == '/' ? dir : dir + "/";
    log.error("qb3.dbf missing from " + shown);
    return {"ERROR: Database file qb3.dbf ", "is missing from server ", shown};
}

std::vector<std::string> StartupChecks::helpMissingAlert(const std::string& helpDir)
{
    return {"ERROR: The help file  ", "is missing. Looking for", helpDir + ". "};
}

} // namespace qb::board
