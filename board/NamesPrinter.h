// Prints the lines of "Print Names" on a printer (or a PDF file): the grid's
// font at 10 points, placed by layoutPrintLines.
#pragma once

#include <QFont>
#include <QString>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QPrinter;
class QWidget;

namespace qb::board {

class BoardView;

// Prints lines as one job titled TAB "Quellboard Pro". Returns "" when the
// job was written, else the error text to show; the job is closed either way.
QString printLines(QPrinter& printer, const std::vector<std::string>& lines, const QFont& gridFont);

// The "Print Names" command of the board window. Keeps one printer set-up
// for the program's run.
class PrintNamesCommand {
public:
    // Asks the user for the printer; false when cancelled. By default the
    // print dialog; tests choose a PDF file instead.
    using Chooser = std::function<bool(QPrinter& printer, QWidget* parent)>;

    PrintNamesCommand();
    ~PrintNamesCommand();
    void setChooser(Chooser chooser) { m_chooser = std::move(chooser); }

    // Nothing while nobody is logged in or when the dialog is cancelled;
    // otherwise prints the board as view shows it and hands an error text to
    // inform.
    void run(QWidget* parent, bool loggedIn, const BoardView& view, const QFont& gridFont,
             const std::function<void(const QString&)>& inform);

private:
    std::unique_ptr<QPrinter> m_printer;
    Chooser m_chooser;
};

} // namespace qb::board
