#include "TableCommands.h"

#include "MemoImage.h"
#include "TableChecker.h"
#include "TableDumper.h"
#include "TableFiles.h"
#include "TableImage.h"
#include "TableRepair.h"

#include <algorithm>
#include <cstdio>
#include <optional>
#include <sys/stat.h>

namespace qb::tools {

namespace {

std::optional<platform::CodePage> parseCodePage(const std::string& s)
{
    if (s == "437" || s == "cp437" || s == "CP437")
        return platform::CodePage::Cp437;
    if (s == "850" || s == "cp850" || s == "CP850")
        return platform::CodePage::Cp850;
    if (s == "1252" || s == "cp1252" || s == "CP1252")
        return platform::CodePage::Windows1252;
    return std::nullopt;
}

// Loads a table for dump and schema; reports to err and returns false when
// it cannot be used.
bool loadTable(const std::string& path, TableImage& t, std::ostream& err)
{
    if (!t.load(path)) {
        err << shown(path) << ": " << t.error() << '\n';
        return false;
    }
    if (!t.usable()) {
        err << shown(path) << ": not a usable table: " << t.layoutProblem() << '\n';
        return false;
    }
    return true;
}

std::string versionText(const TableImage& t)
{
    char buf[80];
    const char* kind = t.isDbase2() ? "dBASE II" : t.memoFlag() ? "dBASE III with memo" : "dBASE III";
    std::snprintf(buf, sizeof buf, "0x%02X (%s)", t.version(), kind);
    return buf;
}

} // namespace

int dumpCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    bool json = false;
    platform::CodePage cp = platform::CodePage::Cp437;
    std::string file;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--json") {
            json = true;
        } else if (a == "--codepage" || a.rfind("--codepage=", 0) == 0) {
            std::string value;
            if (a == "--codepage") {
                if (i + 1 >= args.size()) {
                    err << "qbtool dump: --codepage needs a value (437, 850 or 1252)\n";
                    return exitcode::kUsage;
                }
                value = args[++i];
            } else {
                value = a.substr(11);
            }
            auto parsed = parseCodePage(value);
            if (!parsed) {
                err << "qbtool dump: unknown code page \"" << shown(value) << "\" (use 437, 850 or 1252)\n";
                return exitcode::kUsage;
            }
            cp = *parsed;
        } else if (a.size() > 1 && a[0] == '-') {
            err << "qbtool dump: unknown option \"" << shown(a) << "\"\n";
            return exitcode::kUsage;
        } else if (file.empty()) {
            file = a;
        } else {
            err << "qbtool dump: one file at a time\n";
            return exitcode::kUsage;
        }
    }
    if (file.empty()) {
        err << "usage: qbtool dump FILE [--json] [--codepage 437|850|1252]\n";
        return exitcode::kUsage;
    }

    TableImage t;
    if (!loadTable(file, t, err))
        return exitcode::kFailed;
    const std::string name = shown(file);
    if (t.tooLarge()) {
        err << name << ": " << t.size() << " bytes is more than a table can hold (" << TableImage::kMaxTableBytes
            << " bytes: records beyond would lie in the lock regions); not dumped\n";
        return exitcode::kFailed;
    }
    int status = exitcode::kOk;
    // Records are cut out as the header says; where that disagrees with the
    // fields, the values shown are not what a station reads.
    for (const auto& d : t.layoutDisagreements()) {
        err << name << ": " << d << '\n';
        status = exitcode::kFailed;
    }
    std::optional<MemoImage> memo;
    bool hasMemoField = std::any_of(t.fields().begin(), t.fields().end(), [](const RawField& f) { return f.type == 'M'; });
    if (hasMemoField) {
        std::string memoPath = t.findMemoFile();
        if (memoPath.empty()) {
            err << name << ": memo file (.dbt) is missing; memo fields are shown empty\n";
            status = exitcode::kFailed;
        } else {
            memo.emplace();
            if (!memo->load(memoPath)) {
                err << shown(memoPath) << ": " << memo->error() << "; memo fields are shown empty\n";
                memo.reset();
                status = exitcode::kFailed;
            }
        }
    }
    if (t.recordsInFile() < t.headerCount()) {
        err << name << ": header says " << t.headerCount() << " records, the file holds " << t.recordsInFile() << '\n';
        status = exitcode::kFailed;
    } else if (t.recordsInFile() > t.headerCount()) {
        // Stations count from the size too, so these records are live; the
        // header was not rewritten after an append.
        err << name << ": header says " << t.headerCount() << " records, the file holds " << t.recordsInFile()
            << "; all of them are shown\n";
    }

    TableDumper dumper(t, memo ? &*memo : nullptr, cp);
    if (json)
        dumper.writeJson(out);
    else
        dumper.writeTable(out);
    for (const auto& p : dumper.problems())
        err << name << ": " << p << '\n';
    if (!dumper.problems().empty())
        status = exitcode::kFailed;
    return status;
}

int checkCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    bool repair = false, force = false;
    CommandArgs paths;
    for (const auto& a : args) {
        if (a == "--repair") {
            repair = true;
        } else if (a == "--force") {
            force = true;
        } else if (a.size() > 1 && a[0] == '-') {
            err << "qbtool check: unknown option \"" << shown(a) << "\"\n";
            return exitcode::kUsage;
        } else {
            paths.push_back(a);
        }
    }
    if (paths.empty() || (force && !repair)) {
        err << "usage: qbtool check FILE|DIR... [--repair [--force]]\n";
        return exitcode::kUsage;
    }
    std::size_t tables = 0, problems = 0;
    TableChecker checker;
    auto problem = [&](const std::string& path, const std::string& text) {
        out << shown(path) << ": " << text << '\n';
        ++problems;
    };
    auto checkOne = [&](const std::string& path) {
        ++tables;
        std::vector<std::string> found = checker.check(path);
        if (repair && !found.empty())
            found = repairAndRecheck(path, checker, out, force);
        for (const auto& p : found)
            problem(path, p);
    };
    for (const auto& a : paths) {
        struct stat st {};
        if (::stat(a.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            checkOne(a);
            continue;
        }
        // Planner tables sit in a subfolder of the data directory, so look there too.
        std::vector<TableFile> found = listTables(a);
        if (found.empty())
            problem(a, "no table files (*.dbf) found");
        for (const auto& f : found) {
            if (!f.problem.empty()) {
                problem(f.path, f.problem);
                continue;
            }
            checkOne(f.path);
        }
    }
    err << "qbtool check: " << tables << (tables == 1 ? " table, " : " tables, ") << problems
        << (problems == 1 ? " problem\n" : " problems\n");
    return problems == 0 ? exitcode::kOk : exitcode::kFailed;
}

int schemaCommand(const CommandArgs& args, std::ostream& out, std::ostream& err)
{
    if (args.size() != 1 || (args[0].size() > 1 && args[0][0] == '-')) {
        err << "usage: qbtool schema FILE\n";
        return exitcode::kUsage;
    }
    TableImage t;
    if (!loadTable(args[0], t, err))
        return exitcode::kFailed;
    char date[32];
    std::snprintf(date, sizeof date, "%04d-%02d-%02d", t.year(), t.month(), t.day());
    out << "File:          " << shown(t.path()) << '\n'
        << "Version:       " << versionText(t) << '\n'
        << "Last update:   " << date << '\n'
        << "Records:       " << t.headerCount() << " in the header, " << t.recordsInFile() << " in the file\n"
        << "Header length: " << t.headerLength() << '\n'
        << "Record length: " << t.recordLength() << '\n'
        << "Fields:        " << t.fields().size() << '\n'
        << '\n'
        << "  #  Name        Type  Length  Dec  Offset\n";
    int i = 0;
    for (const auto& f : t.fields()) {
        char line[128];
        std::string name;
        for (char c : f.name)
            name += (static_cast<unsigned char>(c) >= 0x20 && static_cast<unsigned char>(c) < 0x7F) ? c : '?';
        std::snprintf(line, sizeof line, "%3d  %-10s  %c     %6d  %3d  %6d\n", ++i, name.c_str(),
                      (f.type >= 0x20 && f.type < 0x7F) ? f.type : '?', f.length, f.decimals, f.offset);
        out << line;
    }
    return exitcode::kOk;
}

} // namespace qb::tools
