// qbtool commands that read a person's planner and information card for
// scripts (a calendar feed, a phone list). They write nothing: no table is
// created, no record appended, no lock held beyond a read.
#pragma once

#include "tools/Command.h"

namespace qb::tools {

// export-planner DIR NAME [--week YYYY-MM-DD]: the week holding the date
// (default today), one line per day: date, day, AM text, PM text, separated
// by TABs. Exit 3 for an unknown name, 1 when the planner cannot be read.
int exportPlannerCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

// info DIR NAME [--json]: the person's card with the office's captions, or
// one JSON object keyed by field name. A person without a card shows an
// empty card with the name. Exit 3 for an unknown name, 1 when the table
// cannot be read.
int infoCommand(const CommandArgs& args, std::ostream& out, std::ostream& err);

} // namespace qb::tools
