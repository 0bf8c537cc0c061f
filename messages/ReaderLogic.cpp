#include "ReaderLogic.h"

#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace qb::messages {

namespace {
std::string rtrim(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0'))
        s.pop_back();
    return s;
}
} // namespace

ReaderLogic::ReaderLogic(board::Station& station) : m_station(station), m_table("QBReadMsg", station.engine)
{
    m_table.CreateIfNotFound = false;
    m_table.HideDeletedRecs = true;
    m_table.DbfFields = messageFieldList();
}

void ReaderLogic::setBoardIndex(int index)
{
    m_table.setActive(false);
    m_index = index;
    m_table.setDbfFileName(m_station.dataPath(messageTableName(index)));
}

bool ReaderLogic::open()
{
    if (m_index < 0)
        return false;
    for (int k = 0; k < 6; ++k) {
        if (k > 0)
            m_station.pause(std::chrono::milliseconds(60));
        m_station.engine.clearError();
        m_table.setActive(false);
        if (m_table.setActive(true) && m_station.engine.lastError() == 0)
            return true;
    }
    m_table.setActive(false);
    return false;
}

void ReaderLogic::close() { m_table.setActive(false); }

void ReaderLogic::positionForActivation(std::int64_t& foundRecNo)
{
    m_table.GoBottom();
    if (foundRecNo > 0) {
        m_table.Go(foundRecNo);
        // A message deleted meanwhile: stay on the last one.
        if (m_table.Deleted() || m_table.dEOF())
            m_table.GoBottom();
    }
    foundRecNo = -1;
}

bool ReaderLogic::atMessage() { return m_table.Active() && m_table.RecCount() > 0 && !m_table.dEOF(); }

StoredMessage ReaderLogic::current() { return atMessage() ? readMessage(m_table) : StoredMessage{}; }

bool ReaderLogic::markRead()
{
    if (!atMessage() || m_table.GetLField("read"))
        return false;
    if (m_table.RLock()) {
        m_table.SetLField("read", true);
        m_table.Replace();
        m_table.Flush();
        m_table.UnLock();
    }
    m_station.engine.clearError();
    return true;
}

std::optional<std::int64_t> ReaderLogic::headerCount() const
{
    const std::string path = engine::TTzDbf::resolvePath(m_station.dataPath(messageTableName(m_index)));
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    unsigned char b[4];
    const bool ok = ::pread(fd, b, 4, 4) == 4;
    ::close(fd);
    if (!ok)
        return std::nullopt;
    return static_cast<std::int64_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<std::uint32_t>(b[3]) << 24));
}

std::vector<std::string> ReaderLogic::subjects()
{
    std::vector<std::string> out;
    if (!m_table.Active())
        return out;
    const std::int64_t here = m_table.RecNo();
    m_table.DisableControls();
    for (m_table.GoTop(); !m_table.dEOF(); m_table.Skip(1))
        out.push_back(m_table.getText("subj"));
    m_table.Go(here);
    m_table.EnableControls();
    return out;
}

bool ReaderLogic::selectBySubject(int i)
{
    if (!atMessage())
        return false;
    markRead();
    m_table.GoTop();
    if (i > 0)
        m_table.Skip(i);
    return markRead();
}

ReaderLogic::DeleteResult ReaderLogic::deleteCurrent()
{
    DeleteResult r;
    if (!m_table.Active() && !open())
        return r;
    const std::int64_t recNo = m_table.RecNo();
    if (m_table.RecCount() > 0 && !m_table.dEOF()) {
        m_station.engine.clearError();
        if (!m_table._Delete()) {
            // Once more on a fresh open; errors are not the user's concern here.
            m_table.setActive(false);
            if (m_table.setActive(true)) {
                m_table.Go(recNo);
                m_table._Delete();
            }
        }
    }
    m_station.engine.clearError();

    // Packing needs the table to itself; while another station has it open
    // the deleted record stays until a later pack.
    m_table.setActive(false);
    m_table.setExclusive(true);
    if (m_table.setActive(true) && m_station.engine.lastError() == 0) {
        if (m_table.Pack()) {
            r.packed = true;
            r.remaining = m_table.RecCount();
        }
    }
    m_table.setActive(false);
    m_table.setExclusive(false);
    m_station.engine.clearError();

    if (!open())
        return r;
    if (!r.packed)
        r.remaining = m_table.RecCount();
    // The message that took the deleted one's place, else the new last one.
    m_table.Go(recNo);
    if (!m_table.dEOF() && m_table.Deleted())
        m_table.Skip(1);
    if (m_table.dEOF())
        m_table.GoBottom();
    m_station.engine.clearError();
    return r;
}

ReplyDraft composeReply(const StoredMessage& m, const std::vector<std::string>& lines, bool forward,
                        int directReplyMarker)
{
    ReplyDraft d;
    d.subject = std::string(forward ? "Fwd: " : "Re: ") + rtrim(m.subject);
    d.recipientText = forward ? "Select recipient(s)" : rtrim(m.from);
    d.mailbox = m.fromId;
    const std::size_t n = lines.size();
    if (directReplyMarker >= 0 && static_cast<std::size_t>(directReplyMarker) < n) {
        const auto marker = static_cast<std::size_t>(directReplyMarker);
        for (std::size_t i = marker + 1; i < n; ++i)
            d.lines.push_back(lines[i]);
        d.lines.push_back("----- Original Message -----");
        d.lines.push_back("From: " + rtrim(m.from));
        d.lines.push_back("Sent: " + rtrim(m.time));
        for (std::size_t i = 0; i < marker; ++i)
            d.lines.push_back("> " + lines[i]);
        return d;
    }
    d.lines = {" ", " ", rtrim(m.from) + " sent:"};
    for (const auto& l : lines)
        d.lines.push_back(forward ? l : "> " + l);
    return d;
}

std::vector<std::string> printLines(const StoredMessage& m, const std::vector<std::string>& lines,
                                    const std::string& ownName)
{
    std::vector<std::string> out = {"\tQuellboard Pro Message",
                                    "\tFrom: " + rtrim(m.from) + "   Received " + rtrim(m.time),
                                    "\tTo: " + ownName, "\tSubject: " + rtrim(m.subject), " "};
    for (const auto& l : lines)
        out.push_back("\t" + l);
    return out;
}

} // namespace qb::messages
