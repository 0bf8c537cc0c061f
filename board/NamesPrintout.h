// "Print Names": the lines of the print-out and where each lands on paper.
// Plain C++; the printer window code measures text and paints the result.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qb::board {

class BoardView;

// The title (TAB "Quellboard Pro"), a line of one blank, then per person as
// the grid shows them, top to bottom: TAB, name, four TABs, two blanks,
// remark.
std::vector<std::string> namesPrintLines(const BoardView& view);

// Printer geometry in device pixels. lineHeight is the font's height plus 2.
struct PrintGeometry {
    int pageWidth = 0;
    int pageHeight = 0;
    int lineHeight = 0;
    int tabWidth = 0; // distance between tab stops
};

// A piece of text placed on a page.
struct PrintRun {
    int page = 0; // from 0
    int x = 0;
    int y = 0;
    std::string text;
    bool operator==(const PrintRun&) const = default;
};

// Places the lines: each starts at the left edge, one lineHeight below the
// one before; a TAB moves to the next tab stop; text that would pass the
// right edge continues at the left edge of the next line; a line that does
// not fit below the last one starts a new page. measure gives the width of
// a text without TABs (UTF-8).
std::vector<PrintRun> layoutPrintLines(const std::vector<std::string>& lines, const PrintGeometry& geometry,
                                       const std::function<int(std::string_view)>& measure);

} // namespace qb::board
