// Per-person message tables "msg" + board index + ".dbf" with their memo
// files: writing a message the way every station does, reading, counting,
// the unread probe of the new-message check, the health check at login and
// removing a mailbox. Qt-free (qbtool uses it).
#pragma once

#include "core/Station.h"
#include "core/TableNames.h"
#include "messages/MessageText.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qb::engine {
class TTzDbf;
}

namespace qb::messages {

// Flag bits of the `state` character.
namespace flag {
constexpr std::uint8_t kWillCallBack = 1;
constexpr std::uint8_t kPleaseCall = 2;
constexpr std::uint8_t kCalled = 4;
constexpr std::uint8_t kReturnedCall = 8;
constexpr std::uint8_t kReplyAsap = 16;
constexpr std::uint8_t kOrdinary = 32; // clear for an out-of-office message
constexpr std::uint8_t kUrgent = 64;
constexpr std::uint8_t kPleaseComment = 128;
} // namespace flag

struct Message {
    int fromId = 0;
    std::string from;    // UTF-8
    std::string subject; // UTF-8
    std::string time;    // send time text as shown
    std::uint8_t flags = flag::kOrdinary;
    std::vector<std::string> lines; // UTF-8 text lines
    bool read = false;
};

// A message as read back from a table.
struct StoredMessage : Message {
    std::int64_t recNo = 0;
    bool deleted = false;
    int no = 0;
    bool scrambled = false;
};

std::vector<std::string> messageFieldList();
using core::messageTableName;

// The fields of one message converted for storing, made once per send and
// reused for every recipient of a multiple send.
struct PreparedMessage {
    int fromId = 0;
    std::string from, subject, time; // UTF-8
    std::string state;               // stored flag character
    std::vector<std::string> lines;  // stored memo lines
    bool scrambled = false;
    bool read = false; // stations always write false; kept for made-up data
};
PreparedMessage prepareMessage(const Message& m, bool scramble, platform::CodePage cp);

// How hard a send tries. A single send opens up to 8 times (tries 1 and 2
// only an existing table, then creating it; 25 x k ms after failed try k)
// and takes the append lock up to 3 times, committing to disk. Each
// recipient of a multiple send gets one open and one open with creation, up
// to 4 append-lock tries and no commit.
struct SendPolicy {
    int openTries;
    int openTriesWithoutCreate;
    bool pauseBetweenOpens;
    int lockTries;
    bool commit;
};
constexpr SendPolicy kSingleSend{8, 2, true, 3, true};
constexpr SendPolicy kMultipleSend{2, 1, false, 4, false};

enum class SendResult {
    Delivered,
    OpenBusy,    // another station holds the table exclusively (packing)
    OpenFailed,  // cannot be opened or created
    LockBusy,    // the append lock stayed with other stations
    WriteFailed, // the record or memo could not be written
};

// Appends the message to the recipient's table as a station does: fill the
// record, take the append lock, Append, Flush, (Commit), UnLock, close.
// Creates the table and memo on first use. `no` holds the record count
// just before this message, read under the append lock.
SendResult deliver(board::Station& station, int recipient, const PreparedMessage& message,
                   const SendPolicy& policy = kSingleSend);

// Appends one message to the recipient's table under the append lock,
// creating the table on first use; unscrambled. False when it could not be
// delivered.
bool appendMessage(board::Station& station, int recipient, const Message& message);

// Reads the current record of an open message table.
StoredMessage readMessage(engine::TTzDbf& table);

// Opens the person's table with a component named name (shared, deleted
// records visible unless hideDeleted); no creation.
bool openMailbox(engine::TTzDbf& table, board::Station& station, int boardIndex, bool hideDeleted);

// Number of records in the person's table; -1 when the file is missing or
// the open failed twice (400 ms apart).
std::int64_t countMessages(board::Station& station, int boardIndex);

// The file is there but shorter than a table header can be.
bool mailboxDamaged(const std::string& dataDir, int boardIndex);
// What the login reports for a damaged table of the person (board index 1
// or more): the event log entry, the status-line text and the alert's lines.
// Nothing when the table is sound or absent.
struct MailboxDamage {
    std::string logText;
    std::string statusText;
    std::vector<std::string> alert;
};
std::optional<MailboxDamage> mailboxDamageAtLogin(const std::string& dataDir, int boardIndex);
// The check at login with the station: logs and shows the alert; returns the
// status-line text ("" when the table is sound or absent).
std::string checkMailboxAtLogin(board::Station& station, int boardIndex);

// Removes msgN.dbf and msgN.dbt (any case of the names). True when neither
// is left; a missing file is not an error.
bool deleteMailbox(const std::string& dataDir, int boardIndex);

// The new-message check's look into a table: the last record and one a
// growing distance before it, never more than two records per call.
class UnreadProbe {
public:
    // 1: an unread message was found (foundRecNo); 0: none seen; -1: no
    // table or an empty one.
    int probe(board::Station& station, int boardIndex);

    int step = 0;                 // how far back the second look goes
    std::int64_t foundRecNo = -1; // the unread record last found
    int recordsRead = 0;          // records looked at by the last call
    // Lets the window system breathe between the two looks.
    std::function<void()> processEvents;
};

} // namespace qb::messages
