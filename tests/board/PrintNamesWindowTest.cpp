// "&Print Names" from the board window, printed to PDF and read back as text
// with pdftotext.
#include "admin/NameAdmin.h"
#include "board/BoardGrid.h"
#include "board/NamesPrinter.h"
#include "board/TForm1.h"
#include "engine/TTzDbf.h"
#include "tests/support/ScriptedDialogs.h"
#include "platform/EventLog.h"
#include "tests/support/BoardWindowStation.h"
#include "tools/DataDirCommands.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPrinter>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sstream>

using namespace qb;
using board::TForm1;

class PrintNamesWindowTest : public QObject, private qb::testing::BoardWindowStation {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void threePeoplePrintFiveLines();
    void longBoardContinuesOnFurtherPages();
    void nobodyLoggedInPrintsNothing();
    void outputErrorIsShownAndTheJobClosed();

private:
    void addPeople(const QStringList& names);
    void startAndLogIn(const QString& name);
    // Prints through the menu item into pdf; returns the dialog's count.
    void printTo(const QString& pdf);
    QString pdfText(const QString& pdf, int page = 0);

    int m_dialogs = 0;
};

void PrintNamesWindowTest::init()
{
    QVERIFY(makeStation());
    m_dialogs = 0;
}

void PrintNamesWindowTest::cleanup()
{
    dropStation();
}

void PrintNamesWindowTest::addPeople(const QStringList& names)
{
    for (const QString& n : names) {
        admin::AddedName added;
        QCOMPARE(admin::addName(*m_station, n.toStdString(), "Sales", &added), admin::AddNameResult::Ok);
    }
}

void PrintNamesWindowTest::startAndLogIn(const QString& name)
{
    makeWindow();
    showWindow();
    if (!name.isEmpty())
        logIn(name);
}

void PrintNamesWindowTest::printTo(const QString& pdf)
{
    m_form->printNames().setChooser([this, pdf](QPrinter& printer, QWidget*) {
        ++m_dialogs;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdf);
        printer.setPageSize(QPageSize(QPageSize::A4));
        return true;
    });
    auto* item = m_form->findChild<QAction*>(QStringLiteral("PrintNames1"));
    QVERIFY(item);
    QCOMPARE(item->text(), QStringLiteral("&Print Names"));
    QCOMPARE(item->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_P));
    item->trigger();
}

QString PrintNamesWindowTest::pdfText(const QString& pdf, int page)
{
    QStringList args;
    if (page > 0)
        args << QStringLiteral("-f") << QString::number(page) << QStringLiteral("-l") << QString::number(page);
    args << QStringLiteral("-layout") << pdf << QStringLiteral("-");
    QProcess p;
    p.start(QStringLiteral("pdftotext"), args);
    if (!p.waitForFinished(20000) || p.exitCode() != 0)
        return QStringLiteral("pdftotext failed: ") + QString::fromUtf8(p.readAllStandardError());
    return QString::fromUtf8(p.readAllStandardOutput());
}

// The print-out's lines with runs of blanks made one, without the page break.
static QStringList lines(QString text)
{
    text.remove(QLatin1Char('\f'));
    QStringList out;
    for (QString line : text.split(QLatin1Char('\n')))
        out << line.simplified();
    while (!out.isEmpty() && out.last().isEmpty())
        out.removeLast();
    return out;
}

void PrintNamesWindowTest::threePeoplePrintFiveLines()
{
    addPeople({QStringLiteral("Carol"), QStringLiteral("Bob"), QStringLiteral("Dave")});
    std::ostringstream out, err;
    QCOMPARE(tools::setRemarkCommand({m_data, "Carol", "Back at 3"}, out, err), 0);
    QCOMPARE(tools::setRemarkCommand({m_data, "Dave", "Out"}, out, err), 0);
    QCOMPARE(tools::setRemarkCommand({m_data, "Bob", "In"}, out, err), 0);
    startAndLogIn(QStringLiteral("Bob"));
    const QString pdf = m_root->filePath(QStringLiteral("names.pdf"));
    printTo(pdf);
    QCOMPARE(m_dialogs, 1);
    QVERIFY(m_prompts.messageTexts().isEmpty());
    QCOMPARE(lines(pdfText(pdf)), (QStringList {QStringLiteral("Quellboard Pro"), QString(), QStringLiteral("Bob In"),
                                                QStringLiteral("Carol Back at 3"), QStringLiteral("Dave Out")}));
}

void PrintNamesWindowTest::longBoardContinuesOnFurtherPages()
{
    QStringList names;
    for (int i = 1; i <= 90; ++i)
        names << QStringLiteral("Person %1").arg(i, 3, 10, QLatin1Char('0'));
    addPeople(names);
    startAndLogIn(QStringLiteral("Person 001"));
    const QString pdf = m_root->filePath(QStringLiteral("long.pdf"));
    printTo(pdf);
    QVERIFY(m_prompts.messageTexts().isEmpty());

    // Every person once, in board order, and the second page goes on where
    // the first stopped.
    QStringList all = lines(pdfText(pdf));
    QCOMPARE(all.mid(0, 2), (QStringList {QStringLiteral("Quellboard Pro"), QString()}));
    QStringList printed;
    for (const QString& l : all.mid(2))
        if (!l.isEmpty())
            printed << l.section(QLatin1Char(' '), 0, 1);
    QCOMPARE(printed, names);
    const QStringList first = lines(pdfText(pdf, 1));
    const QStringList second = lines(pdfText(pdf, 2));
    QVERIFY(first.size() > 10);
    QVERIFY(!second.isEmpty());
    QVERIFY(second.first().startsWith(QStringLiteral("Person ")));
    QCOMPARE(first.last().section(QLatin1Char(' '), 1, 1).toInt() + 1, second.first().section(QLatin1Char(' '), 1, 1).toInt());
}

void PrintNamesWindowTest::nobodyLoggedInPrintsNothing()
{
    addPeople({QStringLiteral("Bob")});
    startAndLogIn(QString());
    const QString pdf = m_root->filePath(QStringLiteral("none.pdf"));
    printTo(pdf);
    QCOMPARE(m_dialogs, 0);
    QVERIFY(!QFile::exists(pdf));
}

void PrintNamesWindowTest::outputErrorIsShownAndTheJobClosed()
{
    addPeople({QStringLiteral("Bob")});
    startAndLogIn(QStringLiteral("Bob"));
    printTo(m_root->filePath(QStringLiteral("no-such-dir/names.pdf")));
    QCOMPARE(m_prompts.messageTexts(), QStringList {QStringLiteral("I/O error: the printer could not take the print-out")});

    // The failed job is closed: the next one prints.
    m_prompts.clearMessages();
    const QString pdf = m_root->filePath(QStringLiteral("again.pdf"));
    printTo(pdf);
    QVERIFY(m_prompts.messageTexts().isEmpty());
    QCOMPARE(lines(pdfText(pdf)).value(2), QStringLiteral("Bob In"));
}

QTEST_MAIN(PrintNamesWindowTest)
#include "PrintNamesWindowTest.moc"
