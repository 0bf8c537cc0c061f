// The shared list of predefined remarks ("remarks.dbf"): loading with the
// built-in fallback, the pick result handed to the board, placeholder
// expansion, the administrator's edits and the save that rewrites the table.
//
// Owned by the remark pick window (TpickList1) and used from the one user
// interface thread. The table is opened only for one load or one save.
//
// Colour codes: an entry's colour is one byte, a colour letter (a, f, l, r,
// w, y) or a packed BBRRRGGG colour, the same codes the names table uses.
// A colour chosen by the administrator becomes the letter whose colour it is
// exactly, else its packed code. Only when that byte cannot be stored and
// read back as itself (NUL and the blank read back as white; bytes the stored
// code page lacks) or would be read as one of the six letters is it replaced,
// by the code of the nearest colour that can be stored (see codeForColor).
#pragma once

#include "admin/RemarkEntries.h"
#include "core/Colors.h"
#include "core/Options.h"
#include "core/TableNames.h"
#include "platform/Clock.h"
#include "platform/CodePage.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace qb::engine {
class Engine;
}
namespace qb::core {
class PromptService;
}

namespace qb::admin {

// Which icon the notification area shows after a pick of the own remark.
enum class RemarkIcon {
    Info,     // types 1 and 2: the employee information window's icon
    PickList, // type 3: the remark pick list window's icon
    Prompt,   // every other type: the prompt window's icon
};

struct PickResult {
    std::string text;              // placeholders filled in, at most 60 characters (UTF-8)
    std::uint8_t colorCode = 'w';  // the entry's colour code
    board::Rgb color;              // colour of that code
    bool inUse = false;            // types 1 to 3
    int type = 0;                  // type digit
    std::optional<int> ownStatus;  // the type for types 0 to 6 (the picker's own status)
    RemarkIcon icon = RemarkIcon::Prompt;
    // The board's activity timer: every pick sets 5000 ms; an Out pick
    // (type 3) restarts it with 300000 ms.
    int activityIntervalMs = 5000;
    bool restartActivityTimer = false;
};

struct ExpandResult {
    QString text;
    bool ok = true; // false when the user cancelled a prompt
};

struct SaveResult {
    bool ok = true;
    std::string message; // for the administrator when !ok
};

class RemarkList {
public:
    static constexpr int kTextLimit = 40;     // characters of an entry's text that are stored
    static constexpr int kPickTextLimit = 60; // characters of a picked remark
    static constexpr int kMaxPasses = 7;      // placeholder expansion passes
    static constexpr int kOutTimerMs = 300000;
    static constexpr int kPickTimerMs = 5000;
    static constexpr const char* kFileName = core::remarksTableName();
    static constexpr const char* kErrorMarker = "Error reading";
    static constexpr int kCustomType = 4;

    // engine: the engine the table is opened with (must outlive the list).
    // tablePath: the remark table, normally "remarks.dbf" in the current
    // (data) directory. The list starts empty; call load().
    explicit RemarkList(engine::Engine& engine, std::string tablePath = kFileName);

    // --- loading ----------------------------------------------------------------
    // Reads the table (not created when missing; deleted records hidden).
    // Records whose position lies outside 1..record count, and places no
    // record claims, are left out. Types 1..3 set the board texts and colours
    // below. A type 4 text that begins with a saver's board index in three
    // characters (what save() puts there) is taken without it, so the index
    // neither shows nor piles up with every save. On an unreadable or empty table the built-in list with its
    // "Error reading remarks.dbf" marker is used. Returns true when the
    // table was read.
    bool load();
    // Called at the end of every load(), so the board takes the In and Out
    // texts of each reading of the list.
    std::function<void()> onLoaded;
    // Loads when the list is empty or a fallback (what every opening does).
    void ensureLoaded();
    // The ninth entry marks the built-in fallback list.
    bool isFallback() const;
    // The built-in list's "Error reading remarks.dbf" entry: a notice shown
    // in the list, never a remark. It cannot be picked and is not saved.
    bool isNotice(int index) const;
    // Leaving the window: a list whose text holds "Error reading" is
    // emptied so the next opening reads the table again. Returns whether
    // it was emptied.
    bool clearIfErrorMarked();
    // Empties the list (font change, options window closed).
    void clear();

    const std::vector<RemarkEntry>& entries() const { return m_entries; }
    int count() const { return static_cast<int>(m_entries.size()); }
    bool empty() const { return m_entries.empty(); }

    // --- the board's texts and colours from types 1..3 ------------------------
    const std::string& inText() const { return m_inText; }
    const std::string& unavailableText() const { return m_unavailableText; }
    const std::string& outText() const { return m_outText; }
    std::uint8_t inColor() const { return m_inColor; }
    std::uint8_t outColor() const { return m_outColor; }

    // --- picking ------------------------------------------------------------------
    // The pick of entry index: type, colour, icon, status and timer, with the
    // text's placeholders expanded (prompts through prompts; the clock gives
    // {time}, {date}, {day}). Nothing when index is out of range, names the
    // error notice, or a prompt was cancelled.
    std::optional<PickResult> pick(int index, const platform::Clock& clock, core::PromptService& prompts,
                                   const Options& options) const;
    // The pick fields of an entry without expansion (text copied as is).
    static PickResult describe(const RemarkEntry& entry);

    // Placeholder expansion, also used by the quick keys. While the text
    // holds "<" or "{" (at most 7 passes):
    //  - the first brace pair that holds "time" / "date" / "day" (any case)
    //    becomes the time "h:mm AP" (for example "2:05 PM"), the date
    //    "M/d/yyyy" or the weekday name ("Tuesday"), English, from clock;
    //  - the first "<word>" is removed and asked for: a date (inserted as
    //    "yyyy/MM/dd" with option 14, else " MMM dd, yyyy "), a time (the
    //    prompt's time text), or text under "Customize Remark" / "Enter " +
    //    word; a confirmed non-empty answer is inserted where "<" stood.
    // The first cancelled prompt ends the expansion with ok false.
    static ExpandResult expandPlaceholders(const QString& text, const platform::Clock& clock,
                                           core::PromptService& prompts, bool internationalDates);

    // --- maintenance (administrator) ----------------------------------------------
    // Each successful change sets changed(). Index arguments are entry
    // indexes; out-of-range ones change nothing and return false.
    bool changed() const { return m_changed; }
    static bool isDeletable(int type) { return type < 1 || type > 3; }
    bool canDelete(int index) const;
    // Swaps with the previous entry; false for the first entry.
    bool moveUp(int index);
    // Swaps with the next entry; false for the last entry.
    bool moveDown(int index);
    // Refused (false) for types 1 to 3.
    bool remove(int index);
    // Inserts colour "w", type 0 and text (trailing blanks removed, cut to
    // 40 characters) at index, or before the last entry when index < 0.
    // Returns the new entry's index, -1 when the text is blank.
    int add(int index, const std::string& text);
    // Replaces the text (trailing blanks removed, cut to 40 characters),
    // keeping colour and type; for types 1..3 the board's text follows and
    // for 1 and 3 the colour. False for a blank text.
    bool rename(int index, const std::string& text);
    // Sets the colour code; type 1 also sets the In colour, type 3 the Out
    // colour. A blank code is taken as "w".
    bool setColor(int index, std::uint8_t code);
    // The code a chosen colour becomes (see the file comment).
    static std::uint8_t codeForColor(const board::Rgb& color, platform::CodePage storedCodePage);
    // Whether a colour code byte is stored in the `c` field and read back
    // as the same byte, here and on Windows stations (through the stored
    // code page and Windows-1252).
    static bool codeSurvivesStorage(std::uint8_t code, platform::CodePage storedCodePage);

    // --- saving -------------------------------------------------------------------
    // Rewrites the table with the list (the error notice left out): shared
    // read-write open, the surplus
    // records removed from the top (delete, then pack), missing ones
    // appended under the append lock, then every record written under its
    // record lock. Type 4 texts get saverIndex right-aligned in 3 characters
    // in front. The engine's open mode is restored afterwards.
    //
    // When the table cannot be shortened (another station holds it open, so
    // pack cannot get it to itself), the append lock is refused or the table
    // cannot be opened, nothing is written: the deleted marks are taken back,
    // the list and its changed mark stay, and message says what happened.
    // A record lock refused in the middle of the rewrite also fails (the list
    // stays changed so a later save writes it again).
    SaveResult save(int saverIndex);

private:
    void setBoardTexts(const RemarkEntry& e);
    SaveResult writeTable(int saverIndex);

    engine::Engine& m_engine;
    std::string m_path;
    std::vector<RemarkEntry> m_entries;
    bool m_changed = false;
    std::string m_inText = "In";
    std::string m_unavailableText = "in but unavailable";
    std::string m_outText = "Out";
    std::uint8_t m_inColor = 'l';
    std::uint8_t m_outColor = 'r';
};

} // namespace qb::admin
