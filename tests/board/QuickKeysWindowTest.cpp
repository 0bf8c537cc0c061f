// The quick keys on the board window: "1" sets the own remark, "=" reloads
// (or reports a missing names table), Ctrl+K lists the keys, "Set the 1 key"
// asks for the text.
#include "admin/ConfigTable.h"
#include "admin/NameAdmin.h"
#include "board/TForm1.h"
#include "engine/TTzDbf.h"
#include "tests/support/ScriptedDialogs.h"
#include "platform/EventLog.h"
#include "tests/support/BoardWindowStation.h"
#include "tools/DataDirCommands.h"

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <sstream>

using namespace qb;
using board::TForm1;

class QuickKeysWindowTest : public QObject, private qb::testing::BoardWindowStation {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void oneSetsTheOwnRemarkInWhite();
    void equalsWithoutTheNamesTableLogsNetworkError();
    void setKeysAndShowTheirAssignments();
    void letterOpensTheFindBox();

private:
    void startAndLogIn();
    std::string bobField(const char* field);

    int m_bob = -1;
};

void QuickKeysWindowTest::init()
{
    QVERIFY(makeStation());
    admin::AddedName added;
    QCOMPARE(admin::addName(*m_station, "Bob", "Sales", &added), admin::AddNameResult::Ok);
    m_bob = added.boardIndex;
}

void QuickKeysWindowTest::cleanup()
{
    dropStation();
}

void QuickKeysWindowTest::startAndLogIn()
{
    makeWindow();
    showWindow();
    logIn(QStringLiteral("Bob"));
}

std::string QuickKeysWindowTest::bobField(const char* field)
{
    engine::Engine e;
    engine::TTzDbf t("Reader", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(m_data + "/qb3.dbf");
    if (!t.setActive(true))
        return "?";
    t.Go(m_bob + 1);
    std::string v = std::string(field) == "inuse" ? (t.GetLField(field) ? "T" : "F") : t.getText(field);
    t.setActive(false);
    while (!v.empty() && v.back() == ' ')
        v.pop_back();
    return v;
}

void QuickKeysWindowTest::oneSetsTheOwnRemarkInWhite()
{
    startAndLogIn();
    m_form->settings().quickKey1 = "At lunch";
    QTest::keyClick(m_form.get(), Qt::Key_1);
    QCOMPARE(bobField("remark"), std::string("At lunch"));
    QCOMPARE(bobField("color").substr(0, 2), std::string("#w"));
    QCOMPARE(bobField("inuse"), std::string("F"));
    QCOMPARE(m_form->board().ownStatus, 4);
}

void QuickKeysWindowTest::equalsWithoutTheNamesTableLogsNetworkError()
{
    startAndLogIn();
    QVERIFY(QFile::rename(QString::fromStdString(m_data + "/qb3.dbf"), QString::fromStdString(m_data + "/away.dbf")));
    m_log.entries.clear();
    QTest::keyClick(m_form.get(), Qt::Key_Equal);
    QVERIFY(m_log.contains("Network Error"));

    QVERIFY(QFile::rename(QString::fromStdString(m_data + "/away.dbf"), QString::fromStdString(m_data + "/qb3.dbf")));
    m_log.entries.clear();
    QTest::keyClick(m_form.get(), Qt::Key_Equal);
    QVERIFY(!m_log.contains("Network Error"));
}

void QuickKeysWindowTest::setKeysAndShowTheirAssignments()
{
    startAndLogIn();
    QTest::keyClick(m_form.get(), Qt::Key_K, Qt::ControlModifier);
    QCOMPARE(m_prompts.messageTexts(), QStringList {QStringLiteral("No Quick keys assigned")});

    m_prompts.clearMessages();
    m_prompts.answerText(QStringLiteral("At lunch"));
    child<QAction>("SetKey1")->trigger();
    m_prompts.answerText(QStringLiteral("Meeting"));
    child<QAction>("SetKey2")->trigger();
    QTest::keyClick(m_form.get(), Qt::Key_K, Qt::ControlModifier);
    QCOMPARE(m_prompts.messageTexts(), QStringList {QStringLiteral("Quick Key assignments\n\n1 = At lunch\n2 = Meeting\n")});
    QCOMPARE(m_form->settings().quickKey1, std::string("At lunch"));
}

void QuickKeysWindowTest::letterOpensTheFindBox()
{
    startAndLogIn();
    QTest::keyClick(m_form.get(), Qt::Key_B, Qt::NoModifier);
    auto* find = m_form->findChild<QLineEdit*>(QStringLiteral("FindBox"));
    QVERIFY(find);
    QVERIFY(find->isVisible());
    QCOMPARE(find->text(), QStringLiteral("b"));
}

QTEST_MAIN(QuickKeysWindowTest)
#include "QuickKeysWindowTest.moc"
