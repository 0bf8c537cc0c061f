#include "RemarkList.h"

#include "engine/Engine.h"
#include "engine/TTzDbf.h"
#include "engine/TTzSession.h"
#include "core/PromptService.h"

#include <QDate>
#include <QDateTime>
#include <QLocale>
#include <QTime>

#include <algorithm>
#include <cstdio>

namespace qb::admin {

namespace {

constexpr const char* kComponentName = "QBRemarks";
constexpr const char* kLetters = "aflrwy";

std::string rtrim(std::string s)
{
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\0'))
        s.pop_back();
    return s;
}

// Cuts a UTF-8 text to n characters.
std::string cutChars(const std::string& utf8, int n)
{
    QString q = QString::fromStdString(utf8);
    if (q.size() <= n)
        return utf8;
    return q.left(n).toStdString();
}

platform::CodePage storedCodePage() { return engine::TTzSession::instance().codePage; }

// A colour code byte as a Windows station holds it (Windows-1252), from and
// to the stored OEM byte of the `c` field.
std::uint8_t codeFromStored(const std::string& raw)
{
    if (raw.empty() || raw[0] == ' ' || raw[0] == '\0')
        return 'w';
    std::string b = platform::recode(raw.substr(0, 1), storedCodePage(), platform::CodePage::Windows1252);
    return b.empty() ? 'w' : static_cast<std::uint8_t>(b[0]);
}

std::string codeToStored(std::uint8_t code)
{
    if (code == ' ' || code == 0)
        code = 'w';
    std::string b(1, static_cast<char>(code));
    return platform::recode(b, platform::CodePage::Windows1252, storedCodePage());
}

// A stored type 4 text starts with the saving person's board index in three
// characters (blanks and at least one digit, the digits together).
bool hasIndexPrefix(const std::string& text)
{
    if (text.size() < 3)
        return false;
    std::string p = text.substr(0, 3);
    auto first = p.find_first_not_of(' ');
    if (first == std::string::npos)
        return false;
    auto last = p.find_last_not_of(' ');
    for (auto i = first; i <= last; ++i)
        if (p[i] < '0' || p[i] > '9')
            return false;
    return true;
}

std::string indexPrefix(int index)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%3d", index);
    return buf;
}

QDateTime localNow(const platform::Clock& clock)
{
    platform::LocalTime lt = platform::toLocal(clock.now());
    return QDateTime(QDate(lt.year, lt.month, lt.day), QTime(lt.hour, lt.minute, lt.second));
}

QString formatPromptDate(double dateTime, bool international)
{
    platform::LocalTime lt = platform::fromDateTime(dateTime);
    QDate d(lt.year, lt.month, lt.day);
    const QLocale c = QLocale::c();
    return international ? c.toString(d, QStringLiteral("yyyy/MM/dd"))
                         : c.toString(d, QStringLiteral(" MMM dd, yyyy "));
}

// Replaces the first brace pair when it holds word; true when it did.
bool replaceBraced(QString& s, const QString& word, const QString& value)
{
    int open = s.indexOf(QLatin1Char('{'));
    if (open < 0)
        return false;
    int close = s.indexOf(QLatin1Char('}'), open + 1);
    if (close < 0)
        return false;
    int at = s.indexOf(word, open + 1, Qt::CaseInsensitive);
    if (at < 0 || at + word.size() > close)
        return false;
    s.replace(open, close - open + 1, value);
    return true;
}

} // namespace

RemarkList::RemarkList(engine::Engine& engine, std::string tablePath) : m_engine(engine), m_path(std::move(tablePath)) {}

// --- loading -----------------------------------------------------------------------

bool RemarkList::load()
{
    m_entries.clear();
    m_changed = false;

    bool read = false;
    {
        engine::TTzDbf table(kComponentName, m_engine);
        table.CreateIfNotFound = false;
        table.HideDeletedRecs = true;
        table.AutoFixRecCount = true;
        table.DbfFields = remarkFieldList();
        table.setDbfFileName(m_path);
        if (table.setActive(true) && m_engine.lastError() == 0) {
            const std::int64_t count = std::max<std::int64_t>(0, table.RecCount());
            std::vector<std::optional<RemarkEntry>> places(static_cast<std::size_t>(count));
            bool failed = false;
            for (table.GoTop(); !table.dEOF() && !failed; table.Skip(1)) {
                std::int64_t index = table.GetLongField("position") - 1;
                RemarkEntry e;
                e.color = static_cast<char>(codeFromStored(table.GetCField("c")));
                std::int64_t type = table.GetLongField("type");
                e.type = type >= 0 && type <= 9 ? static_cast<int>(type) : 0;
                e.text = rtrim(table.getText("text"));
                failed = m_engine.lastError() != 0;
                if (failed)
                    break;
                // Saves put the saver's index in front of custom texts; it is
                // taken off again so it neither shows nor piles up.
                if (e.type == kCustomType && hasIndexPrefix(e.text))
                    e.text = e.text.substr(3);
                setBoardTexts(e);
                if (index >= 0 && index < count)
                    places[static_cast<std::size_t>(index)] = e;
            }
            table.setActive(false);
            if (!failed) {
                read = true;
                // Places no record claims would show as empty pickable lines.
                for (auto& p : places)
                    if (p)
                        m_entries.push_back(std::move(*p));
            }
        }
    }
    if (!read)
        m_entries.clear();
    if (m_entries.empty()) {
        m_entries = builtInRemarks(true);
        // The first three built-in entries carry the board's current texts.
        m_entries[0] = RemarkEntry {static_cast<char>(m_inColor), 1, m_inText};
        m_entries[1].text = m_unavailableText;
        m_entries[2] = RemarkEntry {static_cast<char>(m_outColor), 3, m_outText};
    }
    if (onLoaded)
        onLoaded();
    return read && !isFallback();
}

void RemarkList::setBoardTexts(const RemarkEntry& e)
{
    switch (e.type) {
    case 1:
        m_inText = e.text;
        m_inColor = static_cast<std::uint8_t>(e.color);
        break;
    case 2:
        m_unavailableText = e.text;
        break;
    case 3:
        m_outText = e.text;
        m_outColor = static_cast<std::uint8_t>(e.color);
        break;
    default:
        break;
    }
}

void RemarkList::ensureLoaded()
{
    if (m_entries.empty() || isFallback())
        load();
}

bool RemarkList::isFallback() const
{
    if (m_entries.size() < 9)
        return false;
    const RemarkEntry& e = m_entries[8];
    return e.color == 'f' && e.type == 9 && e.text.rfind("Error", 0) == 0;
}

bool RemarkList::isNotice(int index) const
{
    if (index < 0 || index >= count())
        return false;
    const RemarkEntry& e = m_entries[static_cast<std::size_t>(index)];
    return e.type == 9 && e.text.rfind(kErrorMarker, 0) == 0;
}

bool RemarkList::clearIfErrorMarked()
{
    for (const auto& e : m_entries) {
        if (e.text.find(kErrorMarker) != std::string::npos) {
            clear();
            return true;
        }
    }
    return false;
}

void RemarkList::clear()
{
    m_entries.clear();
    m_changed = false;
}

// --- picking -------------------------------------------------------------------------

PickResult RemarkList::describe(const RemarkEntry& entry)
{
    PickResult r;
    r.text = entry.text;
    r.type = entry.type;
    r.colorCode = static_cast<std::uint8_t>(entry.color == ' ' ? 'w' : entry.color);
    r.color = board::colorOfCode(r.colorCode);
    r.inUse = entry.type >= 1 && entry.type <= 3;
    if (entry.type >= 0 && entry.type <= 6)
        r.ownStatus = entry.type;
    r.icon = entry.type == 1 || entry.type == 2 ? RemarkIcon::Info
             : entry.type == 3                  ? RemarkIcon::PickList
                                                : RemarkIcon::Prompt;
    r.activityIntervalMs = entry.type == 3 ? kOutTimerMs : kPickTimerMs;
    r.restartActivityTimer = entry.type == 3;
    return r;
}

std::optional<PickResult> RemarkList::pick(int index, const platform::Clock& clock, core::PromptService& prompts,
                                           const Options& options) const
{
    // The notice would otherwise go out to the whole office as a remark.
    if (index < 0 || index >= count() || isNotice(index))
        return std::nullopt;
    const RemarkEntry& e = m_entries[static_cast<std::size_t>(index)];
    PickResult r = describe(e);
    ExpandResult x =
        expandPlaceholders(QString::fromStdString(e.text), clock, prompts, options[opt::kInternationalDates]);
    if (!x.ok)
        return std::nullopt;
    r.text = x.text.left(kPickTextLimit).toStdString();
    return r;
}

ExpandResult RemarkList::expandPlaceholders(const QString& text, const platform::Clock& clock,
                                            core::PromptService& prompts, bool internationalDates)
{
    ExpandResult out;
    QString s = text;
    const QLocale c = QLocale::c();
    for (int pass = 0; pass < kMaxPasses && (s.contains(QLatin1Char('<')) || s.contains(QLatin1Char('{'))); ++pass) {
        const QDateTime now = localNow(clock);
        replaceBraced(s, QStringLiteral("time"), c.toString(now.time(), QStringLiteral("h:mm AP")));
        replaceBraced(s, QStringLiteral("date"), c.toString(now.date(), QStringLiteral("M/d/yyyy")));
        replaceBraced(s, QStringLiteral("day"), c.toString(now.date(), QStringLiteral("dddd")));

        int open = s.indexOf(QLatin1Char('<'));
        int close = open < 0 ? -1 : s.indexOf(QLatin1Char('>'), open + 1);
        if (close < 0)
            continue;
        const QString word = s.mid(open + 1, close - open - 1);
        s.remove(open, close - open + 1);
        std::optional<QString> answer;
        if (word.contains(QStringLiteral("date"), Qt::CaseInsensitive)) {
            if (std::optional<double> d = prompts.askDate())
                answer = formatPromptDate(*d, internationalDates);
        } else if (word.contains(QStringLiteral("time"), Qt::CaseInsensitive)) {
            if (std::optional<std::string> t = prompts.askTime())
                answer = QString::fromStdString(*t);
        } else if (std::optional<std::string> t =
                       prompts.askText("Customize Remark", "Enter " + word.toStdString(), false)) {
            answer = QString::fromStdString(*t);
        }
        if (!answer) {
            // Cancel means cancel: no further prompts for the same pick.
            out.ok = false;
            out.text = s;
            return out;
        }
        if (!answer->isEmpty())
            s.insert(open, *answer);
    }
    out.text = s;
    return out;
}

// --- maintenance ---------------------------------------------------------------------

bool RemarkList::canDelete(int index) const
{
    return index >= 0 && index < count() && isDeletable(m_entries[static_cast<std::size_t>(index)].type);
}

bool RemarkList::moveUp(int index)
{
    if (index <= 0 || index >= count())
        return false;
    std::swap(m_entries[static_cast<std::size_t>(index)], m_entries[static_cast<std::size_t>(index - 1)]);
    m_changed = true;
    return true;
}

bool RemarkList::moveDown(int index)
{
    if (index < 0 || index >= count() - 1)
        return false;
    std::swap(m_entries[static_cast<std::size_t>(index)], m_entries[static_cast<std::size_t>(index + 1)]);
    m_changed = true;
    return true;
}

bool RemarkList::remove(int index)
{
    if (!canDelete(index))
        return false;
    m_entries.erase(m_entries.begin() + index);
    m_changed = true;
    return true;
}

int RemarkList::add(int index, const std::string& text)
{
    std::string t = cutChars(rtrim(text), kTextLimit);
    if (t.find_first_not_of(' ') == std::string::npos)
        return -1;
    if (index < 0 || index > count())
        index = std::max(0, count() - 1);
    m_entries.insert(m_entries.begin() + index, RemarkEntry {'w', 0, t});
    m_changed = true;
    return index;
}

bool RemarkList::rename(int index, const std::string& text)
{
    if (index < 0 || index >= count())
        return false;
    std::string t = cutChars(rtrim(text), kTextLimit);
    if (t.find_first_not_of(' ') == std::string::npos)
        return false;
    RemarkEntry& e = m_entries[static_cast<std::size_t>(index)];
    e.text = t;
    setBoardTexts(e);
    m_changed = true;
    return true;
}

bool RemarkList::setColor(int index, std::uint8_t code)
{
    if (index < 0 || index >= count())
        return false;
    RemarkEntry& e = m_entries[static_cast<std::size_t>(index)];
    e.color = static_cast<char>(code == ' ' || code == 0 ? 'w' : code);
    // By type rather than by place: the administrator may have moved them.
    if (e.type == 1)
        m_inColor = static_cast<std::uint8_t>(e.color);
    else if (e.type == 3)
        m_outColor = static_cast<std::uint8_t>(e.color);
    m_changed = true;
    return true;
}

bool RemarkList::codeSurvivesStorage(std::uint8_t code, platform::CodePage storedCodePage)
{
    // NUL and the blank are read back as "w" (an empty field is white).
    if (code == 0 || code == ' ')
        return false;
    const std::string b(1, static_cast<char>(code));
    const std::string stored = platform::recode(b, platform::CodePage::Windows1252, storedCodePage);
    return platform::recode(stored, storedCodePage, platform::CodePage::Windows1252) == b;
}

std::uint8_t RemarkList::codeForColor(const board::Rgb& color, platform::CodePage storedCodePage)
{
    for (const char* l = kLetters; *l; ++l)
        if (board::colorOfCode(*l) == color)
            return static_cast<std::uint8_t>(*l);

    // A packed code that is a letter would be read as that letter's colour.
    const std::uint8_t packed = board::packColor(color);
    if (!board::isColorLetter(packed) && codeSurvivesStorage(packed, storedCodePage))
        return packed;

    // Otherwise the nearest colour that can be stored: a neighbouring packed
    // colour is far closer than any of the six letters.
    auto dist = [&](const board::Rgb& o) {
        return (o.r - color.r) * (o.r - color.r) + (o.g - color.g) * (o.g - color.g) + (o.b - color.b) * (o.b - color.b);
    };
    std::uint8_t best = 'w';
    int bestDist = dist(board::colorOfCode(best));
    for (int code = 0; code < 256; ++code) {
        const auto c = static_cast<std::uint8_t>(code);
        if (!codeSurvivesStorage(c, storedCodePage))
            continue;
        const int d = dist(board::colorOfCode(c));
        if (d < bestDist) {
            best = c;
            bestDist = d;
        }
    }
    return best;
}

// --- saving ------------------------------------------------------------------------------

SaveResult RemarkList::save(int saverIndex)
{
    // Other tables opened later must not inherit the save's open mode.
    const std::uint16_t savedMode = m_engine.openModeOverride;
    m_engine.openModeOverride = engine::openmode::kReadWriteDenyNone;
    SaveResult r = writeTable(saverIndex);
    m_engine.openModeOverride = savedMode;
    if (r.ok)
        m_changed = false;
    return r;
}

SaveResult RemarkList::writeTable(int saverIndex)
{
    auto fail = [](std::string why) {
        return SaveResult {false, "The remark list was not saved.\n\n" + std::move(why)};
    };
    engine::TTzDbf table(kComponentName, m_engine);
    table.DbfFields = remarkFieldList();
    table.setDbfFileName(m_path);
    // Lock failures are reported here, not by the component's own message.
    auto quiet = [](engine::TTzODbf&, bool& resolved) { resolved = false; };
    table.OnRLockFailedOnDelete = quiet;
    table.OnRLockFailedOnRestore = quiet;
    if (!table.openOrCreate() || m_engine.lastError() != 0)
        return fail("remarks.dbf could not be opened (" + m_engine.lastErrorText() + ").");

    std::vector<const RemarkEntry*> saved;
    for (int i = 0; i < count(); ++i)
        if (!isNotice(i))
            saved.push_back(&m_entries[static_cast<std::size_t>(i)]);
    const auto wanted = static_cast<std::int64_t>(saved.size());
    std::int64_t total = table.RecCount();
    std::vector<std::int64_t> live;
    for (std::int64_t r = 1; r <= total; ++r) {
        table.Go(r);
        if (!table.Deleted())
            live.push_back(r);
    }

    // Shrink from the top. The surplus records are all marked first and
    // packed once: the outcome equals deleting and packing one at a time,
    // and when pack is refused every mark can be taken back.
    if (total > wanted || static_cast<std::int64_t>(live.size()) < total) {
        std::vector<std::int64_t> marked;
        auto takeBack = [&] {
            for (std::int64_t r : marked) {
                table.Go(r);
                table._Restore();
            }
            table.Flush();
        };
        const std::int64_t surplus = std::max<std::int64_t>(0, static_cast<std::int64_t>(live.size()) - wanted);
        for (std::int64_t k = 0; k < surplus; ++k) {
            table.Go(live[static_cast<std::size_t>(k)]);
            if (!table._Delete()) {
                takeBack();
                return fail("Record " + std::to_string(live[static_cast<std::size_t>(k)]) +
                            " of remarks.dbf is locked by another workstation. Nothing was changed; "
                            "please try again.");
            }
            marked.push_back(live[static_cast<std::size_t>(k)]);
        }
        table.Flush();
        if (!table.Pack()) {
            const int code = m_engine.lastError();
            const std::string detail = m_engine.lastErrorText();
            if (!table.Active())
                return fail("remarks.dbf could not be reopened after removing surplus records (" + detail +
                            "). Close the remark list and save it again.");
            takeBack();
            if (code == engine::err::kSharingViolation)
                return fail("remarks.dbf is open on another workstation, so the list could not be shortened. "
                            "Nothing was changed; please try again in a moment.");
            return fail("The list could not be shortened (" + detail + "). Nothing was changed.");
        }
    }

    total = table.RecCount();
    if (total < wanted) {
        if (!table.ALock())
            return fail("Another workstation is adding to remarks.dbf. Nothing was changed; please try again.");
        while (table.RecCount() < wanted) {
            table.ClearRecord();
            table.Append();
            if (m_engine.lastError() != 0)
                break;
        }
        table.Flush();
        table.UnLock();
        if (table.RecCount() < wanted)
            return fail("remarks.dbf could not be extended (" + m_engine.lastErrorText() + ").");
    }

    table.HideDeletedRecs = true;
    table.GoTop();
    for (std::int64_t i = 0; i < wanted; ++i) {
        if (table.dEOF())
            return fail("remarks.dbf ended before the list was written.");
        const RemarkEntry& e = *saved[static_cast<std::size_t>(i)];
        table.SetLongField("type", e.type >= 0 && e.type <= 9 ? e.type : 0);
        table.SetLongField("position", i + 1);
        table.SetCField("c", codeToStored(static_cast<std::uint8_t>(e.color)));
        std::string text = cutChars(e.text, kTextLimit);
        if (e.type == kCustomType)
            text = indexPrefix(saverIndex) + text;
        table.setText("text", text);
        if (!table.RLock())
            return fail("Record " + std::to_string(i + 1) +
                        " of remarks.dbf is locked by another workstation; the list was only partly written. "
                        "Close the list again to finish saving.");
        table.Replace();
        const bool ok = m_engine.lastError() == 0;
        const std::string detail = m_engine.lastErrorText();
        table.UnLock();
        if (!ok)
            return fail("Writing record " + std::to_string(i + 1) + " failed (" + detail + ").");
        table.Skip(1);
    }
    table.Flush();
    table.setActive(false);
    return {};
}

} // namespace qb::admin
