#include "SendMessageCommand.h"

#include "admin/ConfigTable.h"
#include "board/NamesTable.h"
#include "core/Options.h"
#include "engine/TTzDbf.h"
#include "engine/TTzSession.h"
#include "messages/MessageStore.h"
#include "platform/EventLog.h"
#include "platform/FileOps.h"
#include "tools/DataDirCommands.h"
#include "tools/TableFiles.h"
#include "platform/AsciiCase.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ostream>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace qb::tools {

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kUsage =
    "usage: qbtool send-message DIR TO SUBJECT TEXT [--from NAME] [--urgent] [--wait SECONDS]\n";

// What is wrong with a one-line text for a field of `width` characters.
std::string fieldProblem(const std::string& text, const char* what, std::size_t width)
{
    if (!isValidUtf8(text))
        return std::string(what) + " is not valid UTF-8";
    if (hasControlCharacter(text))
        return std::string(what) + " holds a control character";
    const std::string stored = platform::fromUtf8(text, engine::TTzSession::instance().codePage);
    if (stored.size() > width)
        return std::string(what) + " has " + std::to_string(stored.size()) + " characters; at most " +
               std::to_string(width) + " fit";
    return {};
}

// The lines of the message text: split at line feeds (a CR before one is
// dropped); tabs are kept, other control characters refused.
bool splitText(const std::string& text, std::vector<std::string>& lines, std::string& problem)
{
    if (!isValidUtf8(text)) {
        problem = "the text is not valid UTF-8";
        return false;
    }
    std::string line;
    for (std::size_t i = 0; i <= text.size(); ++i) {
        if (i == text.size() || text[i] == '\n') {
            if (!line.empty() && line.back() == '\r')
                line.pop_back();
            std::string check = line;
            std::replace(check.begin(), check.end(), '\t', ' ');
            if (hasControlCharacter(check)) {
                problem = "the text holds a control character other than tab and line feed";
                return false;
            }
            lines.push_back(line);
            line.clear();
        } else {
            line += text[i];
        }
    }
    while (lines.size() > 1 && lines.back().empty())
        lines.pop_back();
    return true;
}

// A table the command writes must be a regular file inside the data
// directory (no link, FIFO or folder), when it exists at all.
std::string writableProblem(const std::string& name)
{
    const std::string path = engine::TTzDbf::resolvePath(name);
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0)
        return {};
    if (S_ISLNK(st.st_mode))
        return shown(path) + " is a symbolic link; the tool writes only files inside the data directory";
    if (!S_ISREG(st.st_mode))
        return shown(path) + " is not a regular file";
    return {};
}

struct Person {
    int index = -1;
    std::string name;
};

// Board index and stored name of the person named (any case); -1 when none.
Person findPerson(engine::Engine& engine, const std::string& dir, const std::string& name, bool& tableOk)
{
    engine::TTzDbf names("QBFind", engine);
    names.CreateIfNotFound = false;
    names.HideDeletedRecs = true;
    names.setDbfFileName(dir + "/" + board::NamesTable::kFileName);
    tableOk = names.setActive(true);
    Person p;
    if (!tableOk)
        return p;
    const std::string want = platform::asciiLower(name);
    for (names.GoTop(); !names.dEOF(); names.Skip(1)) {
        if (names.RecNo() > 1 && platform::asciiLower(names.getText("name")) == want) {
            p.index = static_cast<int>(names.RecNo() - 1);
            p.name = names.getText("name");
            break;
        }
    }
    names.setActive(false);
    return p;
}

} // namespace

int sendMessageCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    std::vector<std::string> pos;
    std::string from;
    bool haveFrom = false, urgent = false;
    double waitSeconds = 10;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--from" && i + 1 < args.size()) {
            from = args[++i];
            haveFrom = true;
        } else if (args[i] == "--urgent") {
            urgent = true;
        } else if (args[i] == "--wait" && i + 1 < args.size()) {
            char* end = nullptr;
            waitSeconds = std::strtod(args[i + 1].c_str(), &end);
            if (end == args[i + 1].c_str() || *end != '\0' || !(waitSeconds >= 0) || waitSeconds > 86400) {
                err << "qbtool send-message: --wait takes a number of seconds (0 to 86400)\n";
                return exitcode::kUsage;
            }
            ++i;
        } else if (args[i].rfind("--", 0) == 0) {
            err << kUsage;
            return exitcode::kUsage;
        } else {
            pos.push_back(args[i]);
        }
    }
    if (pos.size() != 4) {
        err << kUsage;
        return exitcode::kUsage;
    }
    const std::string& dir = pos[0];
    std::vector<std::string> lines;
    std::string problem = fieldProblem(pos[2], "the subject", 40);
    if (problem.empty() && haveFrom)
        problem = fieldProblem(from, "the sender's name", 40);
    if (problem.empty())
        splitText(pos[3], lines, problem);
    if (!problem.empty()) {
        err << "qbtool send-message: " << problem << "\n";
        return exitcode::kUsage;
    }

    engine::Engine engine;
    engine.setRetry(3, 40);
    platform::MemoryEventLog log;
    board::Station station(engine, platform::SystemClock::instance(), log, dir, "");
    bool namesOk = false;
    const Person to = findPerson(engine, dir, pos[1], namesOk);
    if (!namesOk) {
        err << "qbtool send-message: cannot open " << board::NamesTable::kFileName << " in " << shown(dir) << ": "
            << shown(engine.lastErrorText()) << "\n";
        return exitcode::kNotWritable;
    }
    if (to.index < 0) {
        err << "qbtool send-message: no person named \"" << shown(pos[1]) << "\" in " << shown(dir) << "\n";
        return exitcode::kUnknownName;
    }
    // A sender on the board replies can reach, and whose own settings
    // (scrambling, date format) the message follows.
    const Person sender = haveFrom ? findPerson(engine, dir, from, namesOk) : Person{};
    admin::Options options;
    if (sender.index > 0) {
        admin::ConfigTable config(engine, station.clock, dir);
        config.load(sender.index, options, false, sender.index);
        engine.clearError();
    }
    const std::string table = dir + "/" + messages::messageTableName(to.index);
    if (std::string p = writableProblem(table); !p.empty()) {
        err << "qbtool send-message: " << p << "\n";
        return exitcode::kNotWritable;
    }

    messages::Message m;
    m.fromId = sender.index > 0 ? sender.index : 0;
    m.from = sender.index > 0 ? sender.name : haveFrom ? from : std::string("qbtool");
    m.subject = pos[2];
    m.time = messages::sendTimeText(platform::toLocal(station.clock.now()), options[admin::opt::kInternationalDates]);
    m.flags = messages::flag::kOrdinary | (urgent ? messages::flag::kUrgent : 0);
    m.lines = lines;
    const messages::PreparedMessage prepared = messages::prepareMessage(
        m, options[admin::opt::kEncryptMessages], engine::TTzSession::instance().codePage);

    const auto deadline = Clock::now() + std::chrono::microseconds(static_cast<std::int64_t>(waitSeconds * 1e6));
    messages::SendResult result;
    for (;;) {
        result = messages::deliver(station, to.index, prepared, messages::kSingleSend);
        const bool busy = result == messages::SendResult::OpenBusy || result == messages::SendResult::LockBusy;
        if (!busy || Clock::now() >= deadline)
            break;
        pauseBeforeRetry();
    }
    switch (result) {
    case messages::SendResult::Delivered:
        out << "message to " << shown(to.name) << " delivered (" << messages::messageTableName(to.index) << ")\n";
        return exitcode::kOk;
    case messages::SendResult::OpenBusy:
    case messages::SendResult::LockBusy:
        err << "qbtool send-message: " << messages::messageTableName(to.index)
            << " stayed locked by other stations for " << waitSeconds << " s; nothing was sent\n";
        return exitcode::kRecordLocked;
    default:
        for (const auto& e : log.entries)
            err << "qbtool: " << shown(e.text) << "\n";
        err << "qbtool send-message: cannot write " << messages::messageTableName(to.index) << " in " << shown(dir)
            << "\n";
        return exitcode::kNotWritable;
    }
}

} // namespace qb::tools
