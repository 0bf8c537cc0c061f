#include "InfoCard.h"

#include "planner/PersonalTables.h"
#include "platform/CodePage.h"

#include <climits>

namespace qb::planner {

std::string defaultCaption(int i)
{
    static const std::array<const char*, kInfoFieldCount> kDefaults = {
        "Name", "Title", "Phone", "Extra", "E_mail", "Pager", "Division", "Fax", "Notes"};
    return kDefaults[static_cast<std::size_t>(i)];
}

std::string captionText(std::string_view stored, int i)
{
    while (!stored.empty() && (stored.back() == ' ' || stored.back() == '\0'))
        stored.remove_suffix(1);
    if (stored.empty() || stored.front() == ' ')
        return defaultCaption(i);
    if (i == kNotesCaption && stored == "Notestxt")
        return "Notes";
    return std::string(stored);
}

bool infoEditable(int personIdent, int userIdent, bool adminLoggedIn, bool everyoneMayChange)
{
    return adminLoggedIn || everyoneMayChange || (userIdent > 0 && personIdent == userIdent);
}

namespace {

std::vector<std::string> splitNotes(const std::string& text, platform::CodePage cp)
{
    std::vector<std::string> lines;
    if (text.empty())
        return lines;
    std::size_t start = 0;
    for (;;) {
        auto nl = text.find('\n', start);
        std::string line = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(platform::fromUtf8(line, cp));
        if (nl == std::string::npos)
            break;
        start = nl + 1;
    }
    return lines;
}

} // namespace

InfoTable::InfoTable(engine::Engine& engine, std::string dataDir, Pause pause)
    : m_engine(engine), m_dataDir(std::move(dataDir)), m_pause(std::move(pause)), m_table("InfoScrn", engine)
{
    m_table.DbfFields = infoFieldList();
    m_table.CreateIfNotFound = false;
    m_table.AutoFixRecCount = true;
}

bool InfoTable::open()
{
    for (int attempt = 1; attempt <= kOpenAttempts; ++attempt) {
        m_table.setActive(false);
        m_table.setDbfFileName(m_dataDir + "/" + kInfoFileName);
        if (m_table.setActive(true) && m_engine.lastError() == 0)
            return true;
        m_pause(kOpenPause);
    }
    m_table.setActive(false);
    return false;
}

std::array<std::string, kInfoFieldCount> InfoTable::captions()
{
    std::array<std::string, kInfoFieldCount> out;
    for (int i = 0; i < kInfoFieldCount; ++i) {
        std::string raw;
        const int n = m_table.FieldNo(kInfoFields[static_cast<std::size_t>(i)]);
        bool ok = n > 0 && m_table.RecCount() >= 1 && m_table.Peek(n, 1, raw);
        m_engine.clearError();
        out[static_cast<std::size_t>(i)] = ok ? captionText(platform::toUtf8(raw, m_table.codePage()), i)
                                              : defaultCaption(i);
    }
    return out;
}

InfoTable::Found InfoTable::showCard(int ident, const std::string& name)
{
    m_ident = ident;
    m_name = name;
    m_stored = false;
    m_table.DisableControls();
    m_table.GoTop();
    const std::int64_t count = m_table.RecCount();
    // Record 1 is the caption record: ident 0 never finds a card there.
    for (std::int64_t i = 0; i < count && !m_table.dEOF(); ++i) {
        if (m_table.GetLongField("ident") == ident && !(ident == 0 && m_table.RecNo() == 1)) {
            m_stored = true;
            break;
        }
        m_table.Skip(1);
    }
    m_engine.clearError();
    Found found = Found::Found;
    if (!m_stored) {
        m_table.GoBottom();
        m_table.Skip(1); // past the last record: an empty card
        found = Found::NotStored;
        if (ident >= 0) {
            InfoCard c;
            c.ident = ident;
            c.fields[0] = name;
            if (save(c) == Saved::Saved)
                found = Found::Appended;
        }
    }
    m_table.EnableControls();
    // After the controls were told: past the end they start a new, blank
    // record, which is where the name goes.
    if (found == Found::NotStored)
        m_table.setText("name", name);
    m_engine.clearError();
    return found;
}

std::string InfoTable::readNotes()
{
    // Lines are read as stored, however long: split at a width they would
    // come back as more lines than were written.
    const int wrap = m_engine.memoWrapWidth;
    m_engine.memoWrapWidth = INT_MAX;
    std::vector<std::string> lines;
    m_table.GetMField("notes", lines);
    m_engine.memoWrapWidth = wrap;
    m_engine.clearError();
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (i)
            text += '\n';
        text += platform::toUtf8(lines[i], m_table.codePage());
    }
    return text;
}

InfoCard InfoTable::card()
{
    InfoCard c;
    c.ident = m_stored ? static_cast<int>(m_table.GetLongField("ident")) : m_ident;
    for (int i = 0; i < kInfoFieldCount; ++i)
        c.fields[static_cast<std::size_t>(i)] = m_table.getText(kInfoFields[static_cast<std::size_t>(i)]);
    if (m_stored)
        c.notes = readNotes();
    m_engine.clearError();
    return c;
}

void InfoTable::showCaptionRecord()
{
    m_table.Go(1);
    m_stored = !m_table.dEOF();
    m_ident = 0;
}

void InfoTable::putFields(const InfoCard& card)
{
    m_table.SetLongField("ident", card.ident);
    for (int i = 0; i < kInfoFieldCount; ++i)
        m_table.setText(kInfoFields[static_cast<std::size_t>(i)], card.fields[static_cast<std::size_t>(i)]);
}

bool InfoTable::putNotes(const std::string& notes)
{
    return m_table.SetMField("notes", splitNotes(notes, m_table.codePage()));
}

bool InfoTable::lockRecord()
{
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        if (attempt > 0)
            m_pause(kLockPause);
        if (m_stored ? m_table.RLock() : m_table.ALock())
            return true;
    }
    return false;
}

InfoTable::Saved InfoTable::save(const InfoCard& card)
{
    if (!m_table.Active())
        return Saved::Failed;
    m_engine.clearError();
    if (!lockRecord())
        return m_engine.lastError() ? Saved::Failed : Saved::Locked;
    bool ok = true;
    if (m_stored) {
        const std::int64_t rec = m_table.RecNo();
        m_table.Go(rec);
        ok = m_engine.lastError() == 0;
        if (ok) {
            putFields(card);
            ok = putNotes(card.notes);
        }
        if (ok) {
            m_table.Replace();
            ok = m_engine.lastError() == 0;
        }
    } else {
        // An empty table gets its caption record first, so no card ever
        // stands where the captions are read.
        if (m_table.RecCount() == 0) {
            m_table.ClearRecord();
            m_table.Append();
        }
        m_table.ClearRecord();
        putFields(card);
        ok = m_engine.lastError() == 0 && putNotes(card.notes);
        if (ok) {
            m_table.Append();
            ok = m_engine.lastError() == 0;
            m_stored = ok;
        }
    }
    m_table.Flush();
    m_table.UnLock();
    return ok ? Saved::Saved : Saved::Failed;
}

InfoTable::Saved InfoTable::saveCaptions(const std::array<std::string, kInfoFieldCount>& texts)
{
    if (!m_table.Active() || m_table.RecCount() < 1)
        return Saved::Failed;
    m_table.Go(1);
    m_stored = true;
    InfoCard c;
    c.ident = 0;
    c.fields = texts;
    c.notes = readNotes();
    return save(c);
}

std::optional<InfoCard> InfoTable::read(engine::Engine& engine, const std::string& dataDir, int ident,
                                        std::string& error)
{
    InfoTable t(engine, dataDir, [](std::chrono::milliseconds) {});
    t.m_table.AutoFixRecCount = false;
    if (!t.open()) {
        error = engine.lastErrorText().empty() ? std::string("cannot open moreinfo.dbf") : engine.lastErrorText();
        return std::nullopt;
    }
    t.m_ident = ident;
    t.m_table.GoTop();
    const std::int64_t count = t.m_table.RecCount();
    for (std::int64_t i = 0; i < count && !t.m_table.dEOF(); ++i) {
        if (t.m_table.GetLongField("ident") == ident && t.m_table.RecNo() > 1) {
            t.m_stored = true;
            return t.card();
        }
        t.m_table.Skip(1);
    }
    return std::nullopt;
}

} // namespace qb::planner
