// Adding and removing people on the names table.
#pragma once

#include "board/Station.h"

#include <string>

namespace qb::board {

constexpr int kMaxNames = 999; // board indexes 1..999; index 0 is the administrator's record

enum class AddNameResult { Ok, EmptyName, Duplicate, Full, OpenFailed, LockFailed, WriteFailed };

struct AddedName {
    int boardIndex = -1;
    bool reused = false;
};

// Adds a person: reuses the first deleted position or appends. The position
// and its ident are chosen while the append lock is held, so two stations
// adding at once never write the same ident. An empty group is stored as "?";
// "&" in a group becomes "+". The person's old message table at a reused
// position is deleted so the new person starts with an empty mailbox. A name
// that a live person already has (compared without regard to case) is
// refused with Duplicate, checked under the same lock so two stations adding
// one name at once cannot both succeed.
AddNameResult addName(Station& station, const std::string& name, const std::string& group, AddedName* added);

// Marks the person's record deleted (its position is kept) and deletes the
// message table. False when the record could not be written.
bool removeName(Station& station, int boardIndex);

} // namespace qb::board
