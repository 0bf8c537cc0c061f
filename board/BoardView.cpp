#include "BoardView.h"

#include "core/Options.h"
#include "platform/Clock.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>

namespace qb::board {

namespace {

// Next code point of UTF-8 text; a byte that starts no valid sequence stands
// for itself, so odd bytes still sort in a fixed place.
char32_t nextCodePoint(std::string_view s, std::size_t& i)
{
    const auto b0 = static_cast<unsigned char>(s[i]);
    auto cont = [&](std::size_t k) {
        return i + k < s.size() && (static_cast<unsigned char>(s[i + k]) & 0xC0) == 0x80;
    };
    auto bits = [&](std::size_t k) { return static_cast<char32_t>(static_cast<unsigned char>(s[i + k]) & 0x3F); };
    if (b0 >= 0xC2 && b0 <= 0xDF && cont(1)) {
        char32_t c = (static_cast<char32_t>(b0 & 0x1F) << 6) | bits(1);
        i += 2;
        return c;
    }
    if (b0 >= 0xE0 && b0 <= 0xEF && cont(1) && cont(2)) {
        char32_t c = (static_cast<char32_t>(b0 & 0x0F) << 12) | (bits(1) << 6) | bits(2);
        i += 3;
        return c;
    }
    if (b0 >= 0xF0 && b0 <= 0xF4 && cont(1) && cont(2) && cont(3)) {
        char32_t c = (static_cast<char32_t>(b0 & 0x07) << 18) | (bits(1) << 12) | (bits(2) << 6) | bits(3);
        i += 4;
        return c;
    }
    ++i;
    return b0;
}

// Lower case for the letters the OEM code pages can hold: ASCII, Latin-1,
// Greek and Cyrillic capitals.
char32_t foldCase(char32_t c)
{
    if (c >= U'A' && c <= U'Z')
        return c + 32;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7)
        return c + 32;
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2)
        return c + 32;
    if (c >= 0x410 && c <= 0x42F)
        return c + 32;
    if (c >= 0x400 && c <= 0x40F)
        return c + 80;
    return c;
}

std::u32string foldedKey(std::string_view s)
{
    std::u32string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size();)
        out.push_back(foldCase(nextCodePoint(s, i)));
    return out;
}

// Cuts UTF-8 text to at most n code points.
std::string cutToCharacters(std::string_view s, std::size_t n)
{
    std::size_t i = 0;
    for (std::size_t count = 0; i < s.size() && count < n; ++count)
        nextCodePoint(s, i);
    return std::string(s.substr(0, i));
}

const std::string& entry(const std::vector<std::string>& list, int index, const std::string& missing)
{
    if (index < 0 || static_cast<std::size_t>(index) >= list.size())
        return missing;
    return list[static_cast<std::size_t>(index)];
}

} // namespace

BoardView::BoardView(Board& board) : m_board(board) {}

void BoardView::setSort(int column, bool ascending)
{
    m_sortColumn = std::clamp(column, 0, kColumnCount - 1);
    m_ascending = ascending;
    rebuild();
}

bool BoardView::setFilter(std::string_view filter)
{
    std::string cut = cutToCharacters(filter, kMaxFilter);
    if (cut == m_filter)
        return false;
    m_filter = std::move(cut);
    rebuild();
    return true;
}

int BoardView::setFontSize(int size)
{
    m_fontSize = std::clamp(size, kMinFontSize, kMaxFontSize);
    return m_fontSize;
}

void BoardView::setSystemColors(const Rgb& windowText, const Rgb& buttonFace)
{
    m_windowText = windowText;
    m_buttonFace = buttonFace;
}

bool BoardView::isOwnRow(int boardIndex) const
{
    return m_board.ownIndex > 0 && boardIndex == m_board.ownIndex;
}

void BoardView::rebuild()
{
    static const std::string kNone;
    auto& order = m_board.displayOrder;
    order.clear();
    const bool ownOnly = m_filter == kOwnRowFilter;
    const int rows = std::min(m_board.rowCount(), kMaxRows);
    for (int i = 1; i < rows; ++i) {
        if (!m_board.isShown(i))
            continue;
        // The marker is never a group: while it is set only the own row shows.
        const bool groupMatches = !ownOnly && (m_filter.empty() || entry(m_board.groups, i, kNone) == m_filter);
        if (groupMatches || isOwnRow(i))
            order.push_back(i);
    }

    if (m_sortColumn == kTimeColumn) {
        // By value rather than by its decimal text: the same order for every
        // date with a five-digit day number, and right for the others too.
        std::stable_sort(order.begin(), order.end(), [this](int a, int b) {
            return m_board.times[static_cast<std::size_t>(a)] < m_board.times[static_cast<std::size_t>(b)];
        });
        return;
    }
    std::vector<std::pair<std::u32string, int>> keyed;
    keyed.reserve(order.size());
    for (int i : order)
        keyed.emplace_back(foldedKey(columnText(i, m_sortColumn)), i);
    // Stable, so rows with equal keys stay in board index order.
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t k = 0; k < keyed.size(); ++k)
        order[k] = keyed[k].second;
}

int BoardView::gridRowCount() const
{
    return static_cast<int>(m_board.displayOrder.size()) + 1;
}

int BoardView::boardIndexAt(int gridRow) const
{
    const int n = static_cast<int>(m_board.displayOrder.size());
    if (gridRow == 0)
        return 0;
    if (gridRow < 1 || gridRow > n)
        return -1;
    const int k = m_ascending ? gridRow - 1 : n - gridRow;
    return m_board.displayOrder[static_cast<std::size_t>(k)];
}

int BoardView::gridRowOf(int boardIndex) const
{
    const int n = static_cast<int>(m_board.displayOrder.size());
    for (int k = 0; k < n; ++k)
        if (m_board.displayOrder[static_cast<std::size_t>(k)] == boardIndex)
            return m_ascending ? k + 1 : n - k;
    return -1;
}

bool BoardView::clickTitle(int column)
{
    if (m_board.adminMode || column < 0 || column >= kColumnCount)
        return false;
    m_ascending = !m_ascending;
    if (column != m_sortColumn) {
        m_sortColumn = column;
        rebuild();
    }
    return true;
}

bool BoardView::clickGroupCell(int boardIndex, bool rightButton)
{
    if (m_board.adminMode || boardIndex <= 0 || boardIndex >= m_board.rowCount())
        return false;
    static const std::string kNone;
    const std::string& group = entry(m_board.groups, boardIndex, kNone);
    const bool ownOnly = m_filter == kOwnRowFilter;
    std::string next;
    if (rightButton || (group != m_filter && !ownOnly))
        next = group;
    else if (isOwnRow(boardIndex) && !ownOnly)
        next = kOwnRowFilter;
    return setFilter(next);
}

std::vector<ViewItem> BoardView::viewItems() const
{
    std::vector<ViewItem> items;
    int k = 0;
    for (const std::string& group : m_board.groupList) {
        ViewItem item;
        item.caption = group;
        std::replace(item.caption.begin(), item.caption.end(), '&', '+');
        item.group = group;
        item.shortcut = shortcutFor(++k);
        items.push_back(std::move(item));
    }
    return items;
}

std::string BoardView::shortcutFor(int k)
{
    if (k >= 1 && k <= 10)
        return "F" + std::to_string(k + 2);
    if (k >= 11 && k <= 22)
        return "Shift+F" + std::to_string(k - 10);
    if (k >= 23 && k <= 34)
        return "Ctrl+F" + std::to_string(k - 22);
    return {};
}

bool BoardView::chooseViewItem(const ViewItem* item)
{
    return setFilter(item ? std::string_view(item->group) : std::string_view());
}

std::string BoardView::columnText(int boardIndex, int column) const
{
    static const std::string kNone = kMissing;
    switch (column) {
    case kNameColumn: return entry(m_board.names, boardIndex, kNone);
    case kRemarkColumn: return entry(m_board.remarks, boardIndex, kNone);
    case kGroupColumn: return entry(m_board.groups, boardIndex, kNone);
    case kMiscColumn: return entry(m_board.miscs, boardIndex, kNone);
    case kTimeColumn:
        if (boardIndex < 0 || boardIndex >= kMaxRows || boardIndex >= m_board.rowCount())
            return kNone;
        return formatDateTime(m_board.times[static_cast<std::size_t>(boardIndex)],
                              m_board.options[admin::opt::kInternationalDates]);
    default: return kNone;
    }
}

CellStyle BoardView::cell(int gridRow, int column) const
{
    CellStyle style {kMissing, kWhite, m_windowText};
    if (column < 0 || column >= kColumnCount || gridRow < 0 || gridRow >= gridRowCount())
        return style;

    if (gridRow == 0) {
        style.text = column == kTimeColumn ? std::string(kTimeTitle) : columnText(0, column);
        style.background = kTitleColor;
        if (column == m_sortColumn)
            style.background = kSortTitleColor;
        if (m_board.adminMode)
            style.background = kAdminTitleColor;
        style.foreground = readableTextOn(style.background);
        return style;
    }

    const int index = boardIndexAt(gridRow);
    if (m_board.options[admin::opt::kAlternateRows] && gridRow % 2 == 1)
        style.background = m_buttonFace;
    style.text = columnText(index, column);
    if (column == kNameColumn && isOwnRow(index)) {
        style.background = kOwnNameColor;
        style.foreground = readableTextOn(style.background);
    } else if (column == kRemarkColumn && index >= 0 && index < kMaxRows) {
        style.background = colorOfCode(m_board.colorCodes[static_cast<std::size_t>(index)]);
        style.foreground = readableTextOn(style.background);
    }
    return style;
}

std::string BoardView::formatDateTime(double dateTime, bool international)
{
    // 0001-01-01 and the day after 9999-12-31 as day numbers.
    constexpr double kFirstDay = -693593.0;
    constexpr double kPastLastDay = 2958466.0;
    constexpr long long kMsPerDay = 86400000LL;
    if (!std::isfinite(dateTime) || dateTime < kFirstDay || dateTime >= kPastLastDay)
        return kMissing;

    // Before 1899-12-30 the whole part is still the day and the fraction,
    // taken as positive, the time of that day.
    const double whole = std::trunc(dateTime);
    auto day = static_cast<std::int64_t>(whole);
    long long ms = std::llround(std::fabs(dateTime - whole) * static_cast<double>(kMsPerDay));
    if (ms >= kMsPerDay) { // rounded up to midnight: that is the next day
        ms -= kMsPerDay;
        ++day;
    }
    int year = 0, month = 0, dayOfMonth = 0;
    platform::civilFromSerial(day, year, month, dayOfMonth);
    if (year < 1 || year > 9999)
        return kMissing;
    const int hour = static_cast<int>(ms / 3600000);
    const int minute = static_cast<int>(ms / 60000 % 60);

    char text[40];
    if (international) {
        std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", year, month, dayOfMonth, hour, minute);
    } else {
        const int hour12 = hour % 12 == 0 ? 12 : hour % 12;
        std::snprintf(text, sizeof text, "%d:%02d %s %02d/%02d/%04d", hour12, minute, hour < 12 ? "AM" : "PM", month,
                      dayOfMonth, year);
    }
    return text;
}

bool BoardView::showsTimeColumn() const
{
    return m_board.adminMode || m_board.options[admin::opt::kShowTime];
}

bool BoardView::hidesFourthColumn() const
{
    return m_board.options[admin::opt::kHideFourthColumn];
}

ColumnWidths BoardView::defaultLayout(int clientWidth)
{
    const int t = clientWidth / 10;
    return {2 * t, 3 * t + 4, t, 2 * t, 2 * t};
}

ColumnWidths BoardView::layoutColumns(const ColumnWidths& current, int clientWidth) const
{
    ColumnWidths w = current;
    bool negative = false;
    for (int& x : w) {
        if (x < 0) {
            negative = true;
            x = 0;
        }
    }
    const bool showTime = showsTimeColumn();
    const bool hideFourth = hidesFourthColumn();
    const bool reset = negative || (hideFourth && w[kMiscColumn] > 0) || (!hideFourth && w[kMiscColumn] < 4) ||
                       (!showTime && w[kTimeColumn] > 0) || (showTime && w[kTimeColumn] < 4);
    if (reset)
        w = defaultLayout(clientWidth);
    if (hideFourth) {
        w[kMiscColumn] = 0;
        w[kRemarkColumn] = clientWidth - w[kNameColumn] - w[kGroupColumn] - w[kTimeColumn];
    }
    if (!showTime) {
        w[kTimeColumn] = 0;
        w[kRemarkColumn] = clientWidth - w[kNameColumn] - w[kGroupColumn] - w[kMiscColumn];
    }
    return w;
}

ColumnWidths BoardView::shareAfterOptionsLoaded(const ColumnWidths& current, int clientWidth) const
{
    ColumnWidths w = current;
    const int rest = clientWidth - (std::max(w[0], 0) + std::max(w[1], 0) + std::max(w[2], 0));
    const int half = rest < 0 ? 20 : rest / 2;
    if (showsTimeColumn()) {
        w[kTimeColumn] = w[kMiscColumn] > 10 ? half : 2 * half;
    } else {
        w[kMiscColumn] = 2 * half;
        w[kTimeColumn] = 0;
    }
    return w;
}

ColumnWidths BoardView::naturalWidths(const Measure& measure, const Measure& measureTitle) const
{
    ColumnWidths w {};
    const int rows = std::min(m_board.rowCount(), kMaxRows);
    for (int c = 0; c < kColumnCount; ++c) {
        if ((c == kMiscColumn && hidesFourthColumn()) || (c == kTimeColumn && !showsTimeColumn()))
            continue;
        std::optional<int> widest = measureTitle ? measureTitle(cell(0, c).text) : std::nullopt;
        for (int i = 1; i < rows && widest; ++i) {
            if (!m_board.isShown(i))
                continue;
            std::optional<int> m = measure(columnText(i, c));
            if (!m)
                widest.reset();
            else
                widest = std::max(*widest, *m);
        }
        w[static_cast<std::size_t>(c)] = widest ? std::max(*widest, 1) : 40;
    }
    return w;
}

ColumnWidths BoardView::fitColumns(const ColumnWidths& natural, int clientWidth, int minWidth) const
{
    ColumnWidths w = natural;
    int sum = 0;
    for (int x : w)
        sum += x;
    if (sum <= clientWidth) {
        const int rest = showsTimeColumn() ? kTimeColumn : kRemarkColumn;
        w[static_cast<std::size_t>(rest)] += clientWidth - sum;
        return w;
    }
    for (int c : {kRemarkColumn, kMiscColumn, kNameColumn, kGroupColumn}) {
        int& x = w[static_cast<std::size_t>(c)];
        const int give = std::min(sum - clientWidth, std::max(0, x - minWidth));
        x -= give;
        sum -= give;
        if (sum <= clientWidth)
            break;
    }
    return w;
}

ColumnWidths BoardView::autosizeColumns(int clientWidth, const Measure& measure, const Measure& measureTitle,
                                        int minWidth) const
{
    return fitColumns(naturalWidths(measure, measureTitle), clientWidth, minWidth);
}

FitHeight BoardView::fitHeight(int rowHeight, int entries, int extra, int screenHeight, bool maximised)
{
    FitHeight fit;
    int h = rowHeight * (std::max(entries, 0) + 1) + std::max(extra, 0);
    if (h > screenHeight - 90) {
        fit.capped = true;
        h = screenHeight - 90;
    }
    if (maximised)
        h = screenHeight - 5;
    fit.clientHeight = h;
    return fit;
}

FitHeight BoardView::fitHeight(int rowHeight, int extra, int screenHeight, bool maximised) const
{
    return fitHeight(rowHeight, static_cast<int>(m_board.displayOrder.size()), extra, screenHeight, maximised);
}

int BoardView::findRow(std::string_view text) const
{
    const std::u32string wanted = foldedKey(text);
    if (wanted.empty())
        return -1;
    int contains = -1;
    for (int r = 1; r < gridRowCount(); ++r) {
        const std::u32string name = foldedKey(columnText(boardIndexAt(r), kNameColumn));
        const std::size_t at = name.find(wanted);
        if (at == 0)
            return r;
        if (at != std::u32string::npos && contains < 0)
            contains = r;
    }
    return contains;
}

bool BoardView::lessNoCase(std::string_view a, std::string_view b)
{
    return foldedKey(a) < foldedKey(b);
}

} // namespace qb::board
