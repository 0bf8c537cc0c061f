// The send window's rules apart from the window: captions, the recipient
// text, who "everyone" is, and a multiple send cut into one step per
// recipient so the board stays responsive between steps.
#pragma once

#include "core/Station.h"
#include "messages/MessageStore.h"

#include <string>
#include <vector>

namespace qb::messages {

// The view filter that shows only the own row.
inline constexpr const char* kOwnRowFilter = "~~";

// Caption of the multiple-send button for a view filter.
std::string multipleSendCaption(const std::string& viewFilter, const std::string& ownName);
// The ticked names joined by "; ", cut to 80 characters followed by "...".
std::string recipientText(const std::vector<std::string>& names);

// Board indexes "everyone" means: every person of the local mirror (the
// names table copy at mirrorPath) above index 0 whose group is the view
// filter, or all of them without a filter; the own row for the own-row
// filter. Removed persons ("__") are left out.
std::vector<int> everyoneInView(board::Station& station, const std::string& mirrorPath,
                                const std::string& viewFilter, int ownIndex);

class MultipleSend {
public:
    // Starts a send of message to recipients (or, when that list is empty,
    // to everyoneInView at the first step). False when one is running.
    bool start(std::vector<int> recipients, PreparedMessage message, std::string mirrorPath,
               std::string viewFilter, int ownIndex);
    // Delivers to the next recipient. False when nothing is left (then the
    // send is over and busy() is false).
    bool step(board::Station& station);

    bool busy() const { return m_busy; }
    int total() const { return static_cast<int>(m_total); }
    int done() const { return m_done; }
    const std::vector<int>& skipped() const { return m_skipped; }
    // "Sending 12 of 48" while running; at the end "Sent to 47 of 48; not
    // delivered: 1" when some were skipped, else "Sent to 48".
    std::string progressText() const;

private:
    bool m_busy = false;
    bool m_listBuilt = false;
    std::vector<int> m_queue;
    std::size_t m_next = 0;
    std::size_t m_total = 0;
    int m_done = 0;
    std::vector<int> m_skipped;
    PreparedMessage m_message;
    std::string m_mirrorPath, m_viewFilter;
    int m_ownIndex = -1;
};

} // namespace qb::messages
