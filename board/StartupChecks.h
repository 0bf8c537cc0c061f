// The window-free steps of the program's start: the program file name and
// the single-instance rule, the data directory from the command line, and the
// checks of the deferred start-up with their event-log entries and alert
// lines. The main window shows what these return.
#pragma once

#include "platform/Clock.h"
#include "platform/EventLog.h"

#include <string>
#include <vector>

namespace qb::board {

class StartupChecks {
public:
    // Lower-cased file name of the program, without directory. Taken from
    // argv[0], not from the resolved executable, so a link named "m..."
    // counts as its own name.
    static std::string programFileName(const std::string& argv0);
    // Copies whose file name begins with "m" run beside any other copy.
    static bool skipsSingleInstance(const std::string& programFileName);
    // `qbp3 [5] [DATA_DIR]`: the second argument when present, else "".
    static std::string dataDirArgument(const std::vector<std::string>& args);

    // "Started " + local date and time, as written to the event log.
    static std::string startedText(const platform::Clock& clock);

    // Deferred start-up step 2: when the settings file cannot be written,
    // logs the error and returns the alert lines; else returns nothing.
    static std::vector<std::string> settingsCheck(bool settingsWritable, platform::EventLog& log);
    // Deferred start-up step 8: when dataDir holds no "qb3.dbf" (any case),
    // logs the error and returns the alert lines naming dataDir.
    static std::vector<std::string> namesTableCheck(const std::string& dataDir, platform::EventLog& log);

    // Alert lines when no help topic can be found; helpDir is the fixed
    // help location that was tried last.
    static std::vector<std::string> helpMissingAlert(const std::string& helpDir);
};

} // namespace qb::board
