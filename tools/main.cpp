// qbtool: the administrator's command-line tool. Commands are listed here;
// each group of commands lives in its own source file of qb_tools_logic.
#include "Command.h"
#include "DataDirCommands.h"
#include "TableCommands.h"
#include "LockCommands.h"
#include "NameCommands.h"
#include "PersonalCommands.h"
#include "ResetAdminPasswordCommand.h"
#include "SendMessageCommand.h"
#include "ShareDoctor.h"

#include <array>
#include <iostream>

namespace {

using qb::tools::Command;

const std::array kCommands = {
    Command{"dump", "FILE [--json] [--codepage 437|850|1252]", "print every record (JSON: one object per line)",
            qb::tools::dumpCommand},
    Command{"check", "FILE|DIR... [--repair [--force]]",
            "check tables and memo files for damage; --repair mends what a crash left",
            qb::tools::checkCommand},
    Command{"schema", "FILE", "print the header and the field list", qb::tools::schemaCommand},
    Command{"init", "DIR [--demo]", "make a new data directory (--demo adds a few people)", qb::tools::initCommand},
    Command{"add-name", "DIR NAME [GROUP] [--wait SECONDS]", "add a person to the board", qb::tools::addNameCommand},
    Command{"remove-name", "DIR NAME [--wait SECONDS]", "remove a person (the board index is kept for the next name)",
            qb::tools::removeNameCommand},
    Command{"rename", "DIR OLD NEW [--wait SECONDS]", "change a person's name", qb::tools::renameCommand},
    Command{"reset-password", "DIR NAME [--wait SECONDS]", "blank a person's password", qb::tools::resetPasswordCommand},
    Command{"set-option", "DIR NAME N on|off [--right on|off] [--wait SECONDS]",
            "set option N of a person (\"Admin\": what new names start with) and his right to change it",
            qb::tools::setOptionCommand},
    Command{"set-remark", "DIR NAME TEXT [--color a|f|l|r|w|y] [--wait SECONDS]", "set a person's remark as the board does",
            qb::tools::setRemarkCommand},
    Command{"send-message", "DIR TO SUBJECT TEXT [--from NAME] [--urgent] [--wait SECONDS]",
            "leave a message for a person as a station's send window does", qb::tools::sendMessageCommand},
    Command{"reset-admin-password", "DIR [--yes]", "clear the administrator's password (asks first; needs write access)",
            qb::tools::resetAdminPasswordCommand},
    Command{"locks", "FILE|DIR...", "show which locks other processes hold on tables now", qb::tools::locksCommand},
    Command{"export-planner", "DIR NAME [--week YYYY-MM-DD]",
            "print a person's planner week: date, day, AM and PM, TAB-separated", qb::tools::exportPlannerCommand},
    Command{"info", "DIR NAME [--json]", "print a person's employee information card", qb::tools::infoCommand},
    Command{"doctor", "DIR", "check a share before stations use it: mount, locks, links, clock, space, tables",
            qb::tools::doctorCommand},
};

} // namespace

int main(int argc, char** argv)
{
    std::ios::sync_with_stdio(false);
    std::vector<std::string> args(argv, argv + argc);
    return qb::tools::dispatch(kCommands, args, std::cout, std::cerr);
}
