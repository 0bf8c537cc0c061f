// "Change Password": new and confirm password asked for, hidden, until the
// change is made, refused for good, or either prompt is cancelled. A refusal
// that typing again can mend (mismatch, too long, a character the table
// cannot store) is shown and asked again; any other refusal is shown once.
#pragma once

#include "board/LoginLogic.h"
#include "core/Dialogs.h"

#include <functional>
#include <optional>
#include <string>

namespace qb::board {

// Makes the change: new and confirm password as typed (UTF-8).
using ChangePassword = std::function<ChangePasswordResult(const std::string&, const std::string&)>;

// Runs the prompts through dialogs; refusals are shown in an information
// box at `at`. True when the password was changed.
bool askPasswordChange(core::Dialogs& dialogs, const ChangePassword& change,
                       std::optional<core::ScreenPoint> at = std::nullopt);

// Whether a refusal is worth asking again for.
bool asksAgain(ChangePasswordResult result);

} // namespace qb::board
