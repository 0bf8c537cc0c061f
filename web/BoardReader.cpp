#include "BoardReader.h"

#include "board/Board.h"
#include "board/BoardView.h"
#include "board/NamesTable.h"
#include "board/RemarkLog.h"
#include "core/Station.h"
#include "core/TableNames.h"
#include "engine/Engine.h"
#include "platform/Clock.h"
#include "platform/EventLog.h"
#include "platform/FileOps.h"
#include "platform/PosixFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace qb::web {

namespace {

// The texts of the load name the mirror; the reader of the page knows the
// shared file, whose bytes the mirror holds.
std::string namingSource(std::string text, const std::string& mirror, const std::string& source)
{
    for (std::size_t at = text.find(mirror); at != std::string::npos; at = text.find(mirror, at + source.size()))
        text.replace(at, mirror.size(), source);
    return text;
}

std::string cellText(const board::BoardView& view, int gridRow, int column)
{
    std::string text = view.cell(gridRow, column).text;
    return text == board::BoardView::kMissing ? std::string() : text;
}

} // namespace

BoardReader::BoardReader(std::string dataDir, std::string mirrorDir, bool internationalTime)
    : m_dataDir(std::move(dataDir)), m_mirrorDir(std::move(mirrorDir)), m_international(internationalTime)
{
}

std::uint64_t BoardReader::stamp() const
{
    return platform::lastWriteTimeOf(m_dataDir + "/" + kNamesFile);
}

bool BoardReader::copyToMirror(std::vector<std::string>& problems)
{
    const std::string source = m_dataDir + "/" + kNamesFile;
    if (!platform::isDirectory(m_dataDir)) {
        problems.push_back("Data directory " + m_dataDir + " not found.");
        return false;
    }
    // A plain read-only open: no share-mode byte, so not even a read lock.
    platform::PosixFile src;
    if (int rc = src.open(source, platform::Access::ReadOnly, platform::Share::NoSharing); rc != 0) {
        problems.push_back("Error reading " + source);
        problems.push_back(rc == platform::oserr::kFileNotFound ? std::string("The file does not exist.")
                                                                : "Error code " + std::to_string(rc) + ".");
        return false;
    }
    std::string bytes;
    char buf[8192];
    for (;;) {
        std::int64_t got = src.readAt(static_cast<std::int64_t>(bytes.size()), buf, sizeof buf);
        if (got < 0) {
            problems.push_back("Error reading " + source);
            problems.push_back(std::string(std::strerror(errno)) + ".");
            return false;
        }
        if (got == 0)
            break;
        bytes.append(buf, static_cast<std::size_t>(got));
    }
    src.close();

    const std::string mirror = m_mirrorDir + "/" + core::namesMirrorName();
    int fd = ::open(mirror.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    bool written = fd >= 0 && ::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
    if (fd >= 0)
        ::close(fd);
    if (!written) {
        problems.push_back("Error  updating ..." + mirror);
        return false;
    }
    return true;
}

Snapshot BoardReader::read()
{
    Snapshot snap;
    if (!copyToMirror(snap.problems))
        return snap;

    // Its own engine with network locking off: the mirror is private, and
    // nothing here may lock a byte anywhere.
    engine::Engine engine;
    engine.networkLocking = false;
    platform::MemoryEventLog log;
    board::Station station(engine, platform::SystemClock::instance(), log, m_dataDir, m_mirrorDir);
    board::Board board;
    board.options.set(admin::opt::kInternationalDates, m_international);
    board::RemarkLog remarkLog(station, board);
    board::NamesTable table(station, board, remarkLog);
    const bool loaded = table.load(false);
    const std::string source = m_dataDir + "/" + kNamesFile;
    if (!loaded) {
        for (const auto& e : log.entries)
            if (e.isError)
                snap.problems.push_back(namingSource(e.text, station.mirrorPath(), source));
        if (!engine.lastErrorText().empty())
            snap.problems.push_back(namingSource(engine.lastErrorText(), station.mirrorPath(), source));
        if (snap.problems.empty())
            snap.problems.push_back("Error reading file " + source);
        return snap;
    }

    board::BoardView view(board);
    for (int c = 0; c < board::BoardView::kColumnCount; ++c) {
        view.setSort(c, true);
        snap.order[static_cast<std::size_t>(c)] = board.displayOrder;
    }
    view.setSort(board::BoardView::kNameColumn, true);
    // Record 0 holds the titles of the first four columns.
    const std::array<const std::vector<std::string>*, 4> titled {&board.names, &board.remarks, &board.groups,
                                                                 &board.miscs};
    for (std::size_t c = 0; c < titled.size(); ++c)
        snap.titles[c] = titled[c]->empty() ? std::string() : titled[c]->front();
    snap.titles[board::BoardView::kTimeColumn] = board::BoardView::kTimeTitle;
    snap.groups = board.groupList;
    for (int r = 1; r < view.gridRowCount(); ++r) {
        WebRow row;
        row.index = view.boardIndexAt(r);
        for (int c = 0; c < board::BoardView::kColumnCount; ++c)
            row.cells[static_cast<std::size_t>(c)] = cellText(view, r, c);
        board::CellStyle remark = view.cell(r, board::BoardView::kRemarkColumn);
        row.remarkBackground = remark.background;
        row.remarkText = remark.foreground;
        snap.rows.push_back(std::move(row));
    }
    return snap;
}

} // namespace qb::web
