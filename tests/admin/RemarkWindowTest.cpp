// The remark pick list driven as a person or the administrator would: clicks
// and keys on the offscreen window, prompts and message boxes answered by
// seams, the table in a scratch directory.
#include "admin/RemarkItemDelegate.h"
#include "admin/RemarkList.h"
#include "admin/TpickList1.h"
#include "engine/Engine.h"
#include "engine/TTzDbf.h"
#include "tests/support/ScriptedDialogs.h"
#include "platform/Clock.h"
#include "tests/support/FakeClock.h"

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

using namespace qb;
using admin::RemarkList;
using admin::TpickList1;

namespace {

struct Row {
    const char* c;
    int type;
    const char* text;
};

void writeRemarks(const std::string& path, const std::vector<Row>& rows)
{
    engine::Engine e;
    engine::TTzDbf t("MakeRem", e);
    t.DbfFields = admin::remarkFieldList();
    t.setDbfFileName(path);
    QVERIFY(t.setActive(true));
    QVERIFY(t.ALock());
    int pos = 1;
    for (const Row& r : rows) {
        t.ClearRecord();
        t.SetCField("c", r.c);
        t.SetLongField("position", pos++);
        t.SetLongField("type", r.type);
        t.setText("text", r.text);
        t.Append();
    }
    t.Flush();
    t.UnLock();
}

std::vector<Row> standardRows()
{
    return {{"l", 1, "In"},       {"f", 2, "in but unavailable"}, {"r", 3, "Out"},
            {"y", 4, "<custom remark>"}, {"w", 5, "at lunch"},  {"y", 6, "Back at <time>"}};
}

struct MessageCall {
    core::Dialogs::Box icon;
    QString text;
};

} // namespace

class RemarkWindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void captionsAndPanelsFollowTheMode();
    void widthFollowsTheFontSizeAndHeightTheEntries();
    void clickingBackAtTimeAsksForATimeAndCloses();
    void cancelledPromptKeepsTheWindowOpen();
    void spaceWithNothingSelectedAsksForASelection();
    void spacePicksTheCurrentRemark();
    void inAndOutCannotBeDeleted();
    void deleteAsksFirst();
    void addRenameAndCloseSaveTheTable();
    void colourChoiceBecomesTheEntrysCode();
    void blockedSaveKeepsTheWindowAndTheList();
    void fallbackListIsClearedOnLeaving();
    void errorNoticeIsShownButNeverPickedOrSaved();
    void helpNamesTheTopicOfTheMode();
    void rendersToAnImage();

private:
    void clickRow(int row);
    QPushButton* button(const char* name) const { return m_window->findChild<QPushButton*>(QString::fromLatin1(name)); }

    QTemporaryDir* m_dir = nullptr;
    std::string m_path;
    engine::Engine* m_engine = nullptr;
    RemarkList* m_list = nullptr;
    // The boxes shown so far.
    std::vector<MessageCall> messages() const
    {
        std::vector<MessageCall> calls;
        for (const auto& shown : m_prompts->shown())
            calls.push_back({shown.box, shown.text});
        return calls;
    }

    testing::ScriptedDialogs* m_prompts = nullptr;
    test::FakeClock m_clock;
    TpickList1* m_window = nullptr;
    std::optional<QColor> m_colour;
};

void RemarkWindowTest::init()
{
    m_dir = new QTemporaryDir;
    m_path = m_dir->filePath(QStringLiteral("remarks.dbf")).toStdString();
    writeRemarks(m_path, standardRows());
    m_engine = new engine::Engine;
    m_list = new RemarkList(*m_engine, m_path);
    m_prompts = new testing::ScriptedDialogs;
    m_window = new TpickList1(*m_list, *m_prompts, m_clock);
    m_window->setColorChooser([this](const QColor&) { return m_colour; });
}

void RemarkWindowTest::cleanup()
{
    delete m_window;
    delete m_prompts;
    delete m_list;
    delete m_engine;
    delete m_dir;
}

void RemarkWindowTest::clickRow(int row)
{
    QListWidget* lb = m_window->listBox();
    const QRect r = lb->visualItemRect(lb->item(row));
    QTest::mouseClick(lb->viewport(), Qt::LeftButton, {}, r.center());
}

void RemarkWindowTest::captionsAndPanelsFollowTheMode()
{
    admin::Options options;
    options.set(admin::opt::kRemarkColors, false);
    const QString longName = QString(70, u'n');
    m_window->preparePick(longName, QString(), options, QPoint(100, 50));
    m_window->open();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Select a remark for ") + QString(60, u'n'));
    QCOMPARE(m_window->pos(), QPoint(120, 60));
    QVERIFY(!m_window->findChild<QWidget*>(QStringLiteral("AdminPanel"))->isVisible());
    QVERIFY(!button("ColorBtn")->isVisible());
    QVERIFY(button("CancelBtn")->isVisible());
    m_window->reject();

    options.set(admin::opt::kRemarkColors, true);
    m_window->preparePick(QStringLiteral("Ann"), QString(), options, QPoint());
    m_window->open();
    QVERIFY(button("ColorBtn")->isVisible());
    m_window->reject();

    m_window->prepareMaintain(0, QPoint());
    m_window->open();
    QCOMPARE(m_window->windowTitle(), QStringLiteral("Change Remarks or Colors (Admin Mode)"));
    QVERIFY(m_window->findChild<QWidget*>(QStringLiteral("AdminPanel"))->isVisible());
    QVERIFY(button("ColorBtn")->isVisible());
    QVERIFY(!button("UpBtn")->isEnabled());
    QVERIFY(!button("DownBtn")->isEnabled());
    QCOMPARE(button("DeleteBtn")->text(), QStringLiteral("&Delete"));
    QCOMPARE(button("CloseBtn")->text(), QStringLiteral("Close"));
    m_window->reject();
}

void RemarkWindowTest::widthFollowsTheFontSizeAndHeightTheEntries()
{
    QCOMPARE(TpickList1::widthForFontSize(8), 240);
    QCOMPARE(TpickList1::widthForFontSize(10), 300);
    QCOMPARE(TpickList1::widthForFontSize(12), 330);
    QCOMPARE(TpickList1::widthForFontSize(14), 380);
    QCOMPARE(TpickList1::widthForFontSize(24), 580);

    admin::Options options;
    m_window->setListFontSize(14);
    m_window->preparePick(QStringLiteral("Ann"), QString(), options, QPoint());
    QCOMPARE(m_window->width(), 380);
    const int sixEntries = m_window->height();
    QVERIFY(sixEntries >= 28 * 7);

    // A font change empties the list; more entries make a taller window.
    m_window->setListFontSize(8);
    QVERIFY(m_list->empty());
    std::vector<Row> rows = standardRows();
    for (int i = 0; i < 6; ++i)
        rows.push_back({"w", 0, "more"});
    std::remove(m_path.c_str());
    writeRemarks(m_path, rows);
    m_window->preparePick(QStringLiteral("Ann"), QString(), options, QPoint());
    QCOMPARE(m_window->width(), 240);
    QCOMPARE(m_list->count(), 12);
    QVERIFY(m_window->height() >= 16 * 13);
    QVERIFY(m_window->height() >= 120);
}

void RemarkWindowTest::clickingBackAtTimeAsksForATimeAndCloses()
{
    admin::Options options;
    m_prompts->answerTime(QStringLiteral(" 02:00 pm"));
    m_window->preparePick(QStringLiteral("Ann"), QString(), options, QPoint());
    m_window->open();
    clickRow(5);
    QVERIFY(!m_window->isVisible());
    QCOMPARE(m_window->result().has_value(), true);
    QCOMPARE(QString::fromStdString(m_window->result()->text), QStringLiteral("Back at  02:00 pm"));
    QCOMPARE(m_window->result()->type, 6);
    QCOMPARE(m_window->result()->colorCode, std::uint8_t('y'));
}

void RemarkWindowTest::cancelledPromptKeepsTheWindowOpen()
{
    admin::Options options;
    m_prompts->answerTime(std::nullopt);
    m_window->preparePick(QStringLiteral("Ann"), QString(), options, QPoint());
    m_window->open();
    clickRow(5);
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->result().has_value());

    // Another pick still works.
    clickRow(2);
    QVERIFY(!m_window->isVisible());
    QCOMPARE(QString::fromStdString(m_window->result()->text), QStringLiteral("Out"));
    QVERIFY(m_window->result()->inUse);
}

void RemarkWindowTest::spaceWithNothingSelectedAsksForASelection()
{
    admin::Options options;
    m_window->preparePick(QStringLiteral("Ann"), QStringLiteral("something else"), options, QPoint());
    m_window->open();
    QTest::keyClick(m_window->listBox(), Qt::Key_Space);
    QCOMPARE(messages().size(), std::size_t(1));
    QCOMPARE(messages()[0].text, QStringLiteral("First select a remark"));
    QVERIFY(m_window->isVisible());
    m_window->reject();
}

void RemarkWindowTest::spacePicksTheCurrentRemark()
{
    admin::Options options;
    m_window->preparePick(QStringLiteral("Ann"), QStringLiteral("AT LUNCH"), options, QPoint());
    m_window->open();
    QCOMPARE(m_window->listBox()->currentRow(), 4);
    QTest::keyClick(m_window->listBox(), Qt::Key_Space);
    QVERIFY(!m_window->isVisible());
    QCOMPARE(QString::fromStdString(m_window->result()->text), QStringLiteral("at lunch"));
}

void RemarkWindowTest::inAndOutCannotBeDeleted()
{
    m_window->prepareMaintain(0, QPoint());
    m_window->open();
    for (int row = 0; row < 3; ++row) {
        clickRow(row);
        QVERIFY(!button("DeleteBtn")->isEnabled());
        QVERIFY(button("UpBtn")->isEnabled());
    }
    clickRow(3);
    QVERIFY(button("DeleteBtn")->isEnabled());
    // Clicks only select in administrator mode.
    QVERIFY(m_window->isVisible());
    m_window->reject();
}

void RemarkWindowTest::deleteAsksFirst()
{
    m_window->prepareMaintain(0, QPoint());
    m_window->open();
    clickRow(4);
    m_prompts->setAnswer(core::Dialogs::Answer::No);
    QTest::mouseClick(button("DeleteBtn"), Qt::LeftButton);
    QCOMPARE(messages().back().text, QStringLiteral("Delete at lunch"));
    QCOMPARE(m_list->count(), 6);
    m_prompts->setAnswer(core::Dialogs::Answer::Yes);
    QTest::mouseClick(button("DeleteBtn"), Qt::LeftButton);
    QCOMPARE(m_list->count(), 5);
    QCOMPARE(m_window->listBox()->count(), 5);
    QVERIFY(m_list->changed());
    m_window->reject();
}

void RemarkWindowTest::addRenameAndCloseSaveTheTable()
{
    m_window->prepareMaintain(0, QPoint());
    m_window->open();
    m_prompts->answerText(QStringLiteral("Working from home"));
    QTest::mouseClick(button("AddBtn"), Qt::LeftButton);
    QCOMPARE(m_prompts->questions().back().caption, QStringLiteral("Add New Remark"));
    QCOMPARE(m_prompts->questions().back().prompt, QStringLiteral("Enter Remark:"));
    QCOMPARE(m_prompts->questions().back().initialText, QString(19, u' '));
    // Nothing was selected: the new entry goes before the last.
    QCOMPARE(m_window->listBox()->item(5)->text(), QStringLiteral("Working from home"));

    clickRow(0);
    m_prompts->answerText(QStringLiteral("In the office"));
    QTest::mouseClick(button("RenameBtn"), Qt::LeftButton);
    QCOMPARE(m_prompts->questions().back().initialText, QStringLiteral("In") + QString(28, u' '));
    QCOMPARE(QString::fromStdString(m_list->inText()), QStringLiteral("In the office"));

    clickRow(0);
    QTest::mouseClick(button("DownBtn"), Qt::LeftButton);
    QCOMPARE(m_window->listBox()->item(1)->text(), QStringLiteral("In the office"));
    QCOMPARE(m_window->listBox()->currentRow(), 1);

    QTest::mouseClick(button("CloseBtn"), Qt::LeftButton);
    QVERIFY(!m_window->isVisible());
    QVERIFY(m_window->saved());
    QVERIFY(messages().empty());

    RemarkList again(*m_engine, m_path);
    QVERIFY(again.load());
    QCOMPARE(again.count(), 7);
    QCOMPARE(again.entries()[1].text, std::string("In the office"));
    QCOMPARE(again.entries()[5].text, std::string("Working from home"));
}

void RemarkWindowTest::colourChoiceBecomesTheEntrysCode()
{
    m_window->prepareMaintain(0, QPoint());
    m_window->open();
    m_colour = QColor(255, 255, 0);
    QTest::mouseClick(button("ColorBtn"), Qt::LeftButton);
    QCOMPARE(messages().back().text, QStringLiteral("First select a remark"));
    clickRow(0);
    QTest::mouseClick(button("ColorBtn"), Qt::LeftButton);
    QCOMPARE(m_list->entries()[0].color, 'y');
    QCOMPARE(m_list->inColor(), std::uint8_t('y'));
    QCOMPARE(m_window->listBox()->item(0)->data(admin::RemarkItemDelegate::kColorCodeRole).toInt(), int('y'));
    m_colour.reset();
    clickRow(2);
    QTest::mouseClick(button("ColorBtn"), Qt::LeftButton);
    QCOMPARE(m_list->entries()[2].color, 'r');
    m_window->reject();
}

void RemarkWindowTest::blockedSaveKeepsTheWindowAndTheList()
{
    engine::Engine other;
    engine::TTzDbf held("Held", other);
    held.CreateIfNotFound = false;
    held.setDbfFileName(m_path);
    QVERIFY(held.setActive(true));

    m_window->prepareMaintain(0, QPoint());
    m_window->open();
    clickRow(4);
    QTest::mouseClick(button("DeleteBtn"), Qt::LeftButton);
    QTest::mouseClick(button("CloseBtn"), Qt::LeftButton);
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->saved());
    QCOMPARE(messages().back().icon, core::Dialogs::Box::Warning);
    QVERIFY(messages().back().text.contains(QStringLiteral("open on another workstation")));
    QVERIFY(m_list->changed());
    QCOMPARE(m_list->count(), 5);

    held.setActive(false);
    QTest::mouseClick(button("CloseBtn"), Qt::LeftButton);
    QVERIFY(!m_window->isVisible());
    QVERIFY(m_window->saved());
}

void RemarkWindowTest::fallbackListIsClearedOnLeaving()
{
    std::remove(m_path.c_str());
    admin::Options options;
    m_window->preparePick(QStringLiteral("Ann"), QString(), options, QPoint());
    m_window->open();
    QCOMPARE(m_window->listBox()->count(), 9);
    QCOMPARE(m_window->listBox()->item(8)->text(), QStringLiteral("Error reading remarks.dbf"));
    QTest::mouseClick(button("CancelBtn"), Qt::LeftButton);
    QVERIFY(!m_window->isVisible());
    QVERIFY(m_list->empty());

    writeRemarks(m_path, standardRows());
    m_window->preparePick(QStringLiteral("Ann"), QString(), options, QPoint());
    QCOMPARE(m_window->listBox()->count(), 6);
}

void RemarkWindowTest::errorNoticeIsShownButNeverPickedOrSaved()
{
    std::remove(m_path.c_str());
    admin::Options options;
    m_window->preparePick(QStringLiteral("Ann"), QString(), options, QPoint());
    m_window->open();
    QListWidget* lb = m_window->listBox();
    QCOMPARE(lb->count(), 9);
    QCOMPARE(lb->item(8)->text(), QStringLiteral("Error reading remarks.dbf"));
    clickRow(8);
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->result().has_value());
    lb->setCurrentRow(8);
    QTest::keyClick(lb, Qt::Key_Space);
    QVERIFY(m_window->isVisible());
    QVERIFY(!m_window->result().has_value());
    m_window->reject();

    // The administrator's save of the built-in list leaves the notice out.
    m_prompts->answerText(QStringLiteral("in the lab"));
    m_window->prepareMaintain(0, QPoint());
    m_window->open();
    QTest::mouseClick(button("AddBtn"), Qt::LeftButton);
    QTest::mouseClick(button("CloseBtn"), Qt::LeftButton);
    QVERIFY(m_window->saved());
    RemarkList reread(*m_engine, m_path);
    QVERIFY(reread.load());
    QCOMPARE(reread.count(), 9);
    for (const admin::RemarkEntry& e : reread.entries())
        QVERIFY2(e.text.find("Error reading") == std::string::npos, e.text.c_str());
    QCOMPARE(QString::fromStdString(reread.entries()[8].text), QStringLiteral("in the lab"));
}

void RemarkWindowTest::helpNamesTheTopicOfTheMode()
{
    QSignalSpy spy(m_window, &TpickList1::helpRequested);
    admin::Options options;
    m_window->preparePick(QStringLiteral("Ann"), QString(), options, QPoint());
    m_window->open();
    QTest::mouseClick(button("HelpBtn"), Qt::LeftButton);
    m_window->reject();
    m_window->prepareMaintain(0, QPoint());
    m_window->open();
    QTest::mouseClick(button("HelpBtn"), Qt::LeftButton);
    m_window->reject();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.at(0).at(0).toString(), QStringLiteral("html/Changing Your Remark.html"));
    QCOMPARE(spy.at(1).at(0).toString(), QStringLiteral("html/Maintain the remarks lis.html"));
}

void RemarkWindowTest::rendersToAnImage()
{
    m_window->prepareMaintain(0, QPoint());
    m_window->open();
    clickRow(4);
    const QImage image = m_window->grab().toImage();
    QVERIFY(!image.isNull());
    // The first entry is painted in its colour (lime) across the list.
    QListWidget* lb = m_window->listBox();
    const QPoint inside = lb->viewport()->mapTo(m_window, lb->visualItemRect(lb->item(0)).center() + QPoint(60, 0));
    const qreal dpr = image.devicePixelRatio();
    QCOMPARE(image.pixelColor(int(inside.x() * dpr), int(inside.y() * dpr)), QColor(0, 255, 0));
    const QString out = qEnvironmentVariable("QB_RENDER_DIR");
    if (!out.isEmpty())
        QVERIFY(image.save(out + QStringLiteral("/remark-list.png")));
    m_window->reject();

    admin::Options options;
    options.set(admin::opt::kRemarkColors, true);
    m_window->preparePick(QStringLiteral("Ann Example"), QStringLiteral("Out"), options, QPoint());
    m_window->open();
    const QImage pick = m_window->grab().toImage();
    QVERIFY(!pick.isNull());
    if (!out.isEmpty())
        QVERIFY(pick.save(out + QStringLiteral("/remark-pick.png")));
    m_window->reject();
}

QTEST_MAIN(RemarkWindowTest)
#include "RemarkWindowTest.moc"
