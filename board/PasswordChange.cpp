#include "PasswordChange.h"

namespace qb::board {

bool asksAgain(ChangePasswordResult result)
{
    return result == ChangePasswordResult::Mismatch || result == ChangePasswordResult::TooLong ||
           result == ChangePasswordResult::InvalidCharacter;
}

bool askPasswordChange(core::Dialogs& dialogs, const ChangePassword& change, std::optional<core::ScreenPoint> at)
{
    const std::string caption = "Change Password";
    for (;;) {
        const auto first = dialogs.askText(caption, "New password:", true);
        if (!first)
            return false;
        const auto second = dialogs.askText(caption, "Confirm password:", true);
        if (!second)
            return false;
        const ChangePasswordResult r = change(*first, *second);
        if (r == ChangePasswordResult::Ok)
            return true;
        dialogs.inform(LoginLogic::changePasswordText(r), at);
        if (!asksAgain(r))
            return false;
    }
}

} // namespace qb::board
