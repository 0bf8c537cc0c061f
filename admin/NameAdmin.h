// Adding and removing people on the names table.
#pragma once

#include "admin/ConfigTable.h"
#include "core/Station.h"

#include <functional>
#include <string>
#include <vector>

namespace qb::admin {

constexpr int kMaxNames = 999; // board indexes 1..999; index 0 is the administrator's record

enum class AddNameResult { Ok, EmptyName, Duplicate, Full, OpenFailed, LockFailed, WriteFailed, NotSetAside };

struct AddedName {
    int boardIndex = -1;
    bool reused = false;
    // What an earlier person at this board index left and was kept aside
    // (planner table renamed, information cards given ident -index).
    std::vector<std::string> setAside;
};

// Adds a person: reuses the first deleted position or appends. The position
// and its ident are chosen while the append lock is held, so two stations
// adding at once never write the same ident. An empty group is stored as "?";
// "&" in a group becomes "+". The person's old message table at a reused
// position is deleted so the new person starts with an empty mailbox. A name
// that a live person already has (compared without regard to case) is
// refused with Duplicate, checked under the same lock so two stations adding
// one name at once cannot both succeed. An earlier person's planner table
// and information cards at the chosen index are set aside first (never
// deleted): the new person starts with neither; when that cannot be done the
// name is not added (NotSetAside).
AddNameResult addName(board::Station& station, const std::string& name, const std::string& group, AddedName* added);

// Why text cannot be stored in a 40-character field of the shared tables
// (invalid UTF-8, a control character, a character the code page cannot
// store, too long); empty when it can. what names the text ("the name").
std::string storedTextProblem(const std::string& text, const char* what);
// The same for a person's name, which must also not be blank, "Admin" (any
// case) or "__". Leading and trailing blanks are not counted.
std::string nameProblem(const std::string& name);

// A person to add, with the options record he starts with.
struct NewPerson {
    std::string name;
    std::string group;
    OptionsRecord options;
};

enum class AddPersonResult { Ok, Invalid, Duplicate, Full, LockFailed, NotWritable, NotSetAside, OptionsFailed };

struct AddPersonOutcome {
    AddPersonResult result = AddPersonResult::NotWritable;
    AddedName added;
    // For everything but Ok: what went wrong, as a sentence to show.
    std::string problem;
    // OptionsFailed only: the name record could not be taken back either.
    bool undoFailed = false;
};

// Adds a person together with his options record, or not at all: when the
// options record cannot be written the name is removed again. waitMore is
// asked whenever another station holds a lock; true tries again.
AddPersonOutcome addPerson(board::Station& station, const NewPerson& person, const std::function<bool()>& waitMore);

enum class NameEditResult { Ok, Invalid, Duplicate, Missing, LockFailed, WriteFailed };

// The live person's board index for a name (compared without regard to
// case); -1 when there is none or the table cannot be read.
int findPerson(board::Station& station, const std::string& name);
// The stored name at a board index; empty for a removed or missing person.
std::string personName(board::Station& station, int boardIndex);
// Renames a person. The new name must pass nameProblem and belong to no
// other live person (problem says why not).
NameEditResult renameName(board::Station& station, int boardIndex, const std::string& newName, std::string* problem);
// removeName with the reason: Missing for no live person at the index,
// LockFailed when another station holds the record.
NameEditResult removePerson(board::Station& station, int boardIndex);
// Writes a person's group ("&" stored as "+"; empty: no group).
NameEditResult setGroup(board::Station& station, int boardIndex, const std::string& group);
// Blanks a person's password.
NameEditResult resetPassword(board::Station& station, int boardIndex);

// Marks the person's record deleted (its position is kept) and deletes the
// message table. False when the record could not be written.
bool removeName(board::Station& station, int boardIndex);

} // namespace qb::admin
