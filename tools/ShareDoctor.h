// `qbtool doctor DIR`: the administrator's check of a share before stations
// use it. Every finding is one line: a verdict, what was found and, when it is
// not "ok", how to fix it. FAIL means stations would lose or damage data
// there; warn means they work, with a drawback worth knowing.
#pragma once

#include "Command.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qb::tools {

enum class Verdict { Ok, Warn, Fail };

struct Finding {
    Verdict verdict = Verdict::Ok;
    std::string topic; // "mount", "locks", "hard links", ...
    std::string text;
    std::string fix;   // empty for ok
};

// One line of /proc/self/mountinfo.
struct MountEntry {
    unsigned major = 0, minor = 0;
    std::string mountPoint; // octal escapes (\040 for a blank) decoded
    std::string fsType;
    std::string source;
    std::vector<std::string> options; // per-mount options, then the file system's own
};

std::optional<MountEntry> parseMountInfoLine(std::string_view line);
// The mount that holds path (an absolute path without symbolic links) on
// device major:minor, from the whole text of a mountinfo file.
std::optional<MountEntry> mountHolding(std::string_view mountinfo, const std::string& path, unsigned major,
                                       unsigned minor);
// What the mount's type and options mean for the stations.
std::vector<Finding> judgeMount(const MountEntry& mount);

// The whole check of DIR; findings in the order they are printed.
std::vector<Finding> examineShare(const std::string& dir);

int doctorCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

} // namespace qb::tools
