// What the message reader does with the logged-in person's table, apart
// from the window: open, position, mark read, step, pick by subject, delete
// and pack, and the texts of a reply, a forward and a print-out.
#pragma once

#include "core/Station.h"
#include "engine/TTzDbf.h"
#include "messages/MessageStore.h"

#include <optional>
#include <string>
#include <vector>

namespace qb::messages {

class ReaderLogic {
public:
    explicit ReaderLogic(board::Station& station);

    // The person whose table is read ("msg" + index), set at login.
    void setBoardIndex(int index);
    int boardIndex() const { return m_index; }
    std::string fileName() const { return messageTableName(m_index); }

    // The reader's table (deleted records hidden); data-aware controls bind
    // to it. Shared, no creation.
    engine::TTzDbf& table() { return m_table; }

    // Opens the table, up to 6 tries 60 ms apart. False when it stays shut.
    bool open();
    void close();
    // Activation: the last message, or the one the new-message check found
    // (foundRecNo > 0, then reset to -1).
    void positionForActivation(std::int64_t& foundRecNo);
    bool atMessage();
    StoredMessage current();

    // Marks the shown message read. True when it was unread until now (the
    // reader shows it green); false when it had been read (black) or there
    // is no message.
    bool markRead();
    // The table header's record count, read from the file itself (bytes 4
    // to 7); nothing when the file cannot be read.
    std::optional<std::int64_t> headerCount() const;

    // The subjects of the shown messages in file order.
    std::vector<std::string> subjects();
    // Marks the shown message read, then moves to entry i of subjects() and
    // marks it read; true when that one was new (green).
    bool selectBySubject(int i);

    struct DeleteResult {
        bool packed = false;        // the table was packed (nobody else had it open)
        std::int64_t remaining = 0; // messages left after the pack
    };
    // Deletes the shown message; packs when nobody else has the table open
    // (silently skipped otherwise); reopens and stands on the message that
    // took its place, or the new last one.
    DeleteResult deleteCurrent();

private:
    board::Station& m_station;
    engine::TTzDbf m_table;
    int m_index = -1;
};

// A reply or forward, as the send window is filled with it.
struct ReplyDraft {
    std::string subject;       // "Re: " / "Fwd: " + subject
    std::string recipientText; // sender's name, or "Select recipient(s)"
    int mailbox = 0;           // the original sender's board index
    std::vector<std::string> lines;
};
// lines: the lines the reader shows. directReplyMarker: index of the direct
// reply marker line in them, or -1 outside direct reply mode; the lines
// below it are the typed answer.
ReplyDraft composeReply(const StoredMessage& m, const std::vector<std::string>& lines, bool forward,
                        int directReplyMarker);

// The marker line direct reply mode appends.
inline constexpr const char* kDirectReplyMarker = "--- Direct Reply Mode, press escape to cancel ---";

// The text lines of a printed message (tabs included).
std::vector<std::string> printLines(const StoredMessage& m, const std::vector<std::string>& lines,
                                    const std::string& ownName);

} // namespace qb::messages
