#include "SendLogic.h"

#include "engine/TTzDbf.h"

namespace qb::messages {

std::string multipleSendCaption(const std::string& viewFilter, const std::string& ownName)
{
    if (viewFilter.empty())
        return "S&end to everyone";
    if (viewFilter == kOwnRowFilter)
        return "S&end to " + ownName;
    return "S&end to " + viewFilter.substr(0, 13);
}

std::string recipientText(const std::vector<std::string>& names)
{
    std::string t;
    for (const auto& n : names)
        t += (t.empty() ? "" : "; ") + n;
    if (t.size() > 80) {
        // Cut on a character boundary of the UTF-8 text.
        std::size_t cut = 80;
        while (cut > 0 && (static_cast<unsigned char>(t[cut]) & 0xC0) == 0x80)
            --cut;
        t = t.substr(0, cut) + "...";
    }
    return t;
}

std::vector<int> everyoneInView(board::Station& station, const std::string& mirrorPath,
                                const std::string& viewFilter, int ownIndex)
{
    std::vector<int> out;
    if (viewFilter == kOwnRowFilter) {
        if (ownIndex > 0)
            out.push_back(ownIndex);
        return out;
    }
    engine::TTzDbf mirror("QBSendAll", station.engine);
    mirror.CreateIfNotFound = false;
    mirror.HideDeletedRecs = true;
    mirror.setDbfFileName(mirrorPath);
    if (!mirror.setActive(true)) {
        station.engine.clearError();
        return out;
    }
    for (mirror.GoTop(); !mirror.dEOF(); mirror.Skip(1)) {
        const auto ident = mirror.GetLongField("ident");
        if (ident <= 0 || mirror.getText("name") == "__")
            continue;
        if (!viewFilter.empty() && mirror.getText("group") != viewFilter)
            continue;
        out.push_back(static_cast<int>(ident));
    }
    mirror.setActive(false);
    station.engine.clearError();
    return out;
}

bool MultipleSend::start(std::vector<int> recipients, PreparedMessage message, std::string mirrorPath,
                         std::string viewFilter, int ownIndex)
{
    if (m_busy)
        return false;
    m_busy = true;
    m_queue = std::move(recipients);
    m_listBuilt = !m_queue.empty();
    m_next = 0;
    m_total = m_queue.size();
    m_done = 0;
    m_skipped.clear();
    m_message = std::move(message);
    m_mirrorPath = std::move(mirrorPath);
    m_viewFilter = std::move(viewFilter);
    m_ownIndex = ownIndex;
    return true;
}

bool MultipleSend::step(board::Station& station)
{
    if (!m_busy)
        return false;
    if (!m_listBuilt) {
        m_queue = everyoneInView(station, m_mirrorPath, m_viewFilter, m_ownIndex);
        m_total = m_queue.size();
        m_listBuilt = true;
    }
    if (m_next < m_queue.size()) {
        const int to = m_queue[m_next++];
        if (deliver(station, to, m_message, kMultipleSend) == SendResult::Delivered)
            ++m_done;
        else
            m_skipped.push_back(to);
    }
    if (m_next >= m_queue.size()) {
        m_busy = false;
        return false;
    }
    return true;
}

std::string MultipleSend::progressText() const
{
    if (m_busy)
        return "Sending " + std::to_string(m_next + 1 > m_total ? m_total : m_next + 1) + " of " +
               std::to_string(m_total);
    if (!m_skipped.empty())
        return "Sent to " + std::to_string(m_done) + " of " + std::to_string(m_total) +
               "; not delivered: " + std::to_string(m_skipped.size());
    return "Sent to " + std::to_string(m_done);
}

} // namespace qb::messages
