#include "board/NamesPrinter.h"

#include "board/NamesPrintout.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>

namespace qb::board {

QString printLines(QPrinter& printer, const std::vector<std::string>& lines, const QFont& gridFont)
{
    const QString failed = QStringLiteral("I/O error: the printer could not take the print-out");
    printer.setDocName(QStringLiteral("\tQuellboard Pro"));
    QPainter painter;
    if (!painter.begin(&printer))
        return failed;
    QFont font(gridFont);
    font.setPointSize(10);
    painter.setFont(font);
    const QFontMetrics metrics = painter.fontMetrics();
    const QRect area = painter.viewport();

    PrintGeometry g;
    g.pageWidth = area.width();
    g.pageHeight = area.height();
    g.lineHeight = metrics.height() + 2;
    g.tabWidth = 8 * metrics.horizontalAdvance(QLatin1Char('n'));
    const auto runs = layoutPrintLines(lines, g, [&](std::string_view s) {
        return metrics.horizontalAdvance(QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())));
    });

    bool ok = true;
    int page = 0;
    for (const PrintRun& run : runs) {
        if (run.page != page) {
            page = run.page;
            if (!printer.newPage()) {
                ok = false;
                break;
            }
        }
        painter.drawText(run.x, run.y + metrics.ascent(), QString::fromStdString(run.text));
    }
    // Closing ends the job, also after a failure.
    if (!painter.end())
        ok = false;
    if (printer.printerState() == QPrinter::Error)
        ok = false;
    return ok ? QString() : failed;
}

PrintNamesCommand::PrintNamesCommand()
    : m_chooser([](QPrinter& printer, QWidget* parent) {
          QPrintDialog dialog(&printer, parent);
          return dialog.exec() == QDialog::Accepted;
      })
{
}

PrintNamesCommand::~PrintNamesCommand() = default;

void PrintNamesCommand::run(QWidget* parent, bool loggedIn, const BoardView& view, const QFont& gridFont,
                            const std::function<void(const QString&)>& inform)
{
    if (!loggedIn)
        return;
    if (!m_printer)
        m_printer = std::make_unique<QPrinter>(QPrinter::HighResolution);
    if (!m_chooser(*m_printer, parent))
        return;
    const QString error = printLines(*m_printer, namesPrintLines(view), gridFont);
    if (!error.isEmpty())
        inform(error);
}

} // namespace qb::board
