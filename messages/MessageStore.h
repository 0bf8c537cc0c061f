// Per-person message tables "msg" + board index + ".dbf" with their memo files.
#pragma once

#include "board/Station.h"

#include <cstdint>
#include <string>
#include <vector>

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

std::vector<std::string> messageFieldList();
std::string messageTableName(int boardIndex);

// Appends one message to the recipient's table under the append lock,
// creating the table on first use. False when it could not be delivered.
bool appendMessage(board::Station& station, int recipient, const Message& message);

} // namespace qb::messages
