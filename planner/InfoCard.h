// The employee information cards of "moreinfo.dbf" (with its memo file):
// finding or appending a person's card, the captions of the caption record
// (record 1, ident 0), and saving a card or the captions under the record
// lock. No Qt: the information window and qbtool share it.
//
// The table stays open while the window shows a card. Saves retry the record
// lock briefly and report a refusal instead of losing the edits; a card that
// has no record yet is appended under the table lock, never written past the
// end without it.
#pragma once

#include "engine/TTzDbf.h"
#include "planner/WeekPlanner.h"

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace qb::planner {

// The nine captioned fields, in the window's order.
constexpr int kInfoFieldCount = 9;
constexpr std::array<const char*, kInfoFieldCount> kInfoFields = {"name",  "title", "phone",    "extra",   "e_mail",
                                                                  "pager", "division", "fax", "notestxt"};
constexpr int kNotesCaption = 8; // notestxt: the caption of the notes
// The caption shown for field i when the caption record leaves it blank.
std::string defaultCaption(int i);
// The caption shown for a stored caption text (UTF-8): blank or beginning
// with a blank gives the default; "Notestxt" for the notes reads "Notes".
std::string captionText(std::string_view stored, int i);

// Who may change a card: the person, the administrator, or everyone when the
// workstation allows it.
bool infoEditable(int personIdent, int userIdent, bool adminLoggedIn, bool everyoneMayChange);

struct InfoCard {
    int ident = 0;
    std::array<std::string, kInfoFieldCount> fields; // UTF-8, trailing blanks trimmed
    std::string notes;                               // UTF-8, lines joined by "\n"
};

class InfoTable {
public:
    static constexpr const char* kUnableText = " Unable to open database file MoreInfo.dbf.";
    static constexpr int kOpenAttempts = 6;
    static constexpr std::chrono::milliseconds kOpenPause{60};
    static constexpr int kLockAttempts = 8;
    static constexpr std::chrono::milliseconds kLockPause{60};

    InfoTable(engine::Engine& engine, std::string dataDir, Pause pause = sleepingPause());

    // Opens the table (never creates it): up to six attempts.
    bool open();
    void close() { m_table.setActive(false); }
    bool isOpen() { return m_table.Active(); }
    engine::TTzDbf& table() { return m_table; }

    // The nine captions as shown, from the caption record.
    std::array<std::string, kInfoFieldCount> captions();

    enum class Found {
        Found,     // the person's card is current
        Appended,  // a new card with ident and name was appended and is current
        NotStored, // the table lock was refused: an unsaved card with the name
    };
    // Makes the person's card current: the first record with this ident;
    // when there is none, a new card appended under the table lock (an empty
    // table first gets its caption record).
    Found showCard(int ident, const std::string& name);
    // The current record as a card (the name alone for a card not stored).
    InfoCard card();
    // The caption record becomes current (label mode).
    void showCaptionRecord();

    enum class Saved { Saved, Locked, Failed };
    // Writes the card into the current record under the record lock, or
    // appends it under the table lock when it has no record yet. Locks are
    // retried briefly; Locked leaves the file as it was.
    Saved save(const InfoCard& card);
    // Writes the captions (the texts of the nine fields) into the caption
    // record, with ident 0.
    Saved saveCaptions(const std::array<std::string, kInfoFieldCount>& texts);

    // A person's card read without writing anything (qbtool): nothing when
    // the person has no card; the error text when the table cannot be read.
    static std::optional<InfoCard> read(engine::Engine& engine, const std::string& dataDir, int ident,
                                        std::string& error);

private:
    bool lockRecord();
    void putFields(const InfoCard& card);
    bool putNotes(const std::string& notes);
    std::string readNotes();

    engine::Engine& m_engine;
    std::string m_dataDir;
    Pause m_pause;
    engine::TTzDbf m_table;
    int m_ident = 0;
    std::string m_name;
    bool m_stored = false;
};

} // namespace qb::planner
