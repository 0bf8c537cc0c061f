#include "Command.h"

#include "TableFiles.h"

#include <algorithm>

namespace qb::tools {

void printUsage(std::span<const Command> commands, std::ostream& os)
{
    os << "usage: qbtool COMMAND [ARGS]\n\ncommands:\n";
    std::size_t width = 0;
    for (const auto& c : commands)
        width = std::max(width, c.name.size() + 1 + c.synopsis.size());
    for (const auto& c : commands) {
        std::string head = std::string(c.name) + " " + std::string(c.synopsis);
        os << "  " << head << std::string(width - head.size() + 2, ' ') << c.summary << '\n';
    }
}

int dispatch(std::span<const Command> commands, const std::vector<std::string>& argv, std::ostream& out,
             std::ostream& err)
{
    if (argv.size() < 2) {
        printUsage(commands, err);
        return exitcode::kUsage;
    }
    const std::string& name = argv[1];
    if (name == "help" || name == "--help" || name == "-h") {
        printUsage(commands, out);
        out.flush();
        return out ? exitcode::kOk : exitcode::kFailed;
    }
    for (const auto& c : commands) {
        if (c.name != name)
            continue;
        int status = c.run(CommandArgs(argv.begin() + 2, argv.end()), out, err);
        // A report that never reached its reader (a full disk, a closed
        // pipe) is not a command that did what was asked.
        out.flush();
        if (!out) {
            err << "qbtool " << name << ": cannot write the output\n";
            if (status == exitcode::kOk)
                status = exitcode::kFailed;
        }
        return status;
    }
    err << "qbtool: unknown command \"" << shown(name) << "\"\n";
    printUsage(commands, err);
    return exitcode::kUsage;
}

} // namespace qb::tools
