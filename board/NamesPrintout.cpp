#include "board/NamesPrintout.h"

#include "board/BoardView.h"

#include <algorithm>

namespace qb::board {
namespace {

// Length of the UTF-8 character that starts at s[i].
std::size_t charLength(std::string_view s, std::size_t i)
{
    const auto c = static_cast<unsigned char>(s[i]);
    std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
    return std::min(n, s.size() - i);
}

// The longest prefix of s, cut between characters, whose width is at most room.
std::size_t fittingPrefix(std::string_view s, int room, const std::function<int(std::string_view)>& measure)
{
    std::size_t fit = 0;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t next = i + charLength(s, i);
        if (measure(s.substr(0, next)) > room)
            break;
        fit = next;
        i = next;
    }
    return fit;
}

} // namespace

std::vector<std::string> namesPrintLines(const BoardView& view)
{
    std::vector<std::string> lines = {"\tQuellboard Pro", " "};
    for (int row = 1; row < view.gridRowCount(); ++row)
        lines.push_back("\t" + view.cell(row, BoardView::kNameColumn).text + "\t\t\t\t  " +
                        view.cell(row, BoardView::kRemarkColumn).text);
    return lines;
}

std::vector<PrintRun> layoutPrintLines(const std::vector<std::string>& lines, const PrintGeometry& g,
                                       const std::function<int(std::string_view)>& measure)
{
    std::vector<PrintRun> runs;
    const int width = std::max(1, g.pageWidth);
    const int tab = std::max(1, g.tabWidth);
    int page = 0;
    int y = 0;
    bool lineUsed = false; // anything placed on the current printed line
    auto nextLine = [&] {
        y += g.lineHeight;
        lineUsed = false;
    };
    auto place = [&](int x, std::string text) {
        if (!lineUsed && y > 0 && y + g.lineHeight > g.pageHeight) {
            ++page;
            y = 0;
        }
        lineUsed = true;
        if (!text.empty())
            runs.push_back({page, x, y, std::move(text)});
    };

    for (const std::string& line : lines) {
        int x = 0;
        std::size_t start = 0;
        for (bool first = true;; first = false) {
            const std::size_t tabAt = line.find('\t', start);
            std::string_view segment = std::string_view(line).substr(start, tabAt == std::string::npos
                                                                                ? std::string::npos
                                                                                : tabAt - start);
            if (!first) {
                x = (x / tab + 1) * tab;
                if (x >= width) {
                    place(0, {});
                    nextLine();
                    x = 0;
                }
            }
            while (!segment.empty()) {
                const int w = measure(segment);
                if (x + w <= width) {
                    place(x, std::string(segment));
                    x += w;
                    break;
                }
                std::size_t n = fittingPrefix(segment, width - x, measure);
                if (n == 0 && x == 0)
                    n = charLength(segment, 0); // wider than the page on its own
                place(x, std::string(segment.substr(0, n)));
                nextLine();
                segment.remove_prefix(n);
                x = 0;
            }
            if (tabAt == std::string::npos)
                break;
            start = tabAt + 1;
        }
        place(0, {}); // an empty line still takes its place
        nextLine();
    }
    return runs;
}

} // namespace qb::board
