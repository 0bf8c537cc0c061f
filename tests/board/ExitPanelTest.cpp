// Leaving the board: the exit panel and the remark left behind on the
// shared names table, driven through the board window.
#include "admin/ConfigTable.h"
#include "admin/NameAdmin.h"
#include "board/ExitController.h"
#include "board/ExitPanel.h"
#include "board/TForm1.h"
#include "engine/TTzDbf.h"
#include "tests/support/ScriptedDialogs.h"
#include "platform/EventLog.h"
#include "tests/support/BoardWindowStation.h"
#include "tools/DataDirCommands.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>
#include <sstream>

using namespace qb;
using board::TForm1;

namespace {

// Counts how often a widget was shown.
class ShowCounter : public QObject {
public:
    int shows = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

struct Record {
    std::string remark, color;
    long chgcntr = 0;
    bool inuse = false;
};

} // namespace

class ExitPanelTest : public QObject, private qb::testing::BoardWindowStation {
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void confirmOffAndAlwaysOutWritesOutWithoutThePanel();
    void customRemarkIsPreselectedAndYesLeavesTheRecord();
    void outAndYesWritesTheOutTextColourAndCode();
    void noRestoresTheWindowSize();
    void nobodyLoggedInEndsAtOnce();

private:
    void setOptions(std::initializer_list<std::pair<int, bool>> options);
    void setRemark(const char* text);
    void startAndLogIn(bool withLogin = true);
    // Closes the window; answer runs once the panel waits.
    void closeWith(const std::function<void()>& answer);
    Record bob();

    ShowCounter m_panelShows;
    int m_bob = -1;
};

void ExitPanelTest::init()
{
    QVERIFY(makeStation());
    admin::AddedName added;
    QCOMPARE(admin::addName(*m_station, "Bob", "Sales", &added), admin::AddNameResult::Ok);
    m_bob = added.boardIndex;
    m_panelShows.shows = 0;
}

void ExitPanelTest::cleanup()
{
    dropStation();
}

void ExitPanelTest::setOptions(std::initializer_list<std::pair<int, bool>> options)
{
    admin::ConfigTable cfg(*m_engine, platform::SystemClock::instance(), m_data);
    admin::Options o;
    cfg.load(m_bob, o, false, -1);
    o.set(admin::opt::kInAtStart, false); // the login leaves the remark as the test set it
    for (auto [option, on] : options)
        o.set(option, on);
    QCOMPARE(cfg.save(m_bob, o, true), engine::CommitResult::Ok);
}

void ExitPanelTest::setRemark(const char* text)
{
    std::ostringstream out, err;
    QCOMPARE(tools::setRemarkCommand({m_data, "Bob", text}, out, err), 0);
}

void ExitPanelTest::startAndLogIn(bool withLogin)
{
    makeWindow();
    m_form->exitController()->panel()->installEventFilter(&m_panelShows);
    showWindow();
    if (withLogin)
        logIn(QStringLiteral("Bob"));
}

void ExitPanelTest::closeWith(const std::function<void()>& answer)
{
    bool ran = false;
    QTimer::singleShot(0, m_form.get(), [&] {
        ran = true;
        answer();
    });
    m_form->close();
    if (!ran)
        QCoreApplication::processEvents(); // no panel waited: let the answer run anyway
}

Record ExitPanelTest::bob()
{
    engine::Engine e;
    engine::TTzDbf t("Reader", e);
    t.CreateIfNotFound = false;
    t.setDbfFileName(m_data + "/qb3.dbf");
    Record r;
    if (!t.setActive(true))
        return r;
    t.Go(m_bob + 1);
    r.remark = t.getText("remark");
    while (!r.remark.empty() && r.remark.back() == ' ')
        r.remark.pop_back();
    r.color = t.GetCField("color").substr(0, 2);
    r.chgcntr = t.GetLongField("chgcntr");
    r.inuse = t.GetLField("inuse");
    t.setActive(false);
    return r;
}

void ExitPanelTest::confirmOffAndAlwaysOutWritesOutWithoutThePanel()
{
    setOptions({{admin::opt::kConfirmExit, false}, {admin::opt::kOutOnExit, true}, {admin::opt::kInToOutOnExit, false}});
    setRemark("In");
    startAndLogIn();
    closeWith([] {});
    QVERIFY(!m_form->isVisible());
    QCOMPARE(m_panelShows.shows, 0);
    const Record r = bob();
    QCOMPARE(r.remark, std::string("Out"));
    QCOMPARE(r.color, std::string("3r"));
    QCOMPARE(r.chgcntr, long('r'));
}

void ExitPanelTest::customRemarkIsPreselectedAndYesLeavesTheRecord()
{
    setOptions({{admin::opt::kConfirmExit, true}, {admin::opt::kOutOnExit, false}, {admin::opt::kInToOutOnExit, false}});
    setRemark("Back at 3");
    startAndLogIn();
    const QByteArray before = [&] {
        QFile f(QString::fromStdString(m_data + "/qb3.dbf"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }();
    QStringList shown;
    bool currentChecked = false;
    closeWith([&] {
        QVERIFY(child<board::ExitPanel>("ExitPanel")->isVisible());
        for (const char* name : {"InButton1", "OutButton1", "CurrentButton3"})
            if (child<QRadioButton>(name)->isVisible())
                shown << child<QRadioButton>(name)->text();
        currentChecked = child<QRadioButton>("CurrentButton3")->isChecked();
        child<QPushButton>("YesButton")->click();
    });
    QCOMPARE(shown, (QStringList {QStringLiteral("In"), QStringLiteral("Out"), QStringLiteral("Back at 3")}));
    QVERIFY(currentChecked);
    QVERIFY(!m_form->isVisible());
    QFile f(QString::fromStdString(m_data + "/qb3.dbf"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    QCOMPARE(f.readAll(), before);
}

void ExitPanelTest::outAndYesWritesTheOutTextColourAndCode()
{
    setOptions({{admin::opt::kConfirmExit, true}, {admin::opt::kOutOnExit, false}, {admin::opt::kInToOutOnExit, false}});
    setRemark("Back at 3");
    startAndLogIn();
    const bool inUseBefore = bob().inuse;
    closeWith([&] {
        child<QRadioButton>("OutButton1")->click();
        child<QPushButton>("YesButton")->click();
    });
    QVERIFY(!m_form->isVisible());
    const Record r = bob();
    QCOMPARE(r.remark, std::string("Out"));
    QCOMPARE(r.color, std::string("3r"));
    QCOMPARE(r.chgcntr, long('r'));
    QCOMPARE(r.inuse, inUseBefore);
}

void ExitPanelTest::noRestoresTheWindowSize()
{
    setOptions({{admin::opt::kConfirmExit, true}, {admin::opt::kOutOnExit, true}});
    setRemark("In");
    startAndLogIn();
    m_form->resize(720, 260);
    QCoreApplication::processEvents();
    const QSize before = m_form->size();
    QSize during;
    bool outChecked = false;
    closeWith([&] {
        during = m_form->size();
        outChecked = child<QRadioButton>("OutButton1")->isChecked();
        child<QPushButton>("NoButton")->click();
    });
    QVERIFY(outChecked); // always-out preselects Out
    QVERIFY(during != before);
    QVERIFY(m_form->isVisible());
    QCOMPARE(m_form->size(), before);
    QVERIFY(!child<board::ExitPanel>("ExitPanel")->isVisible());
    QVERIFY(m_form->findChild<QWidget*>(QStringLiteral("StringGrid1"))->isVisible());
    QCOMPARE(bob().remark, std::string("In"));
}

void ExitPanelTest::nobodyLoggedInEndsAtOnce()
{
    setOptions({{admin::opt::kConfirmExit, true}, {admin::opt::kOutOnExit, true}});
    setRemark("In");
    startAndLogIn(false);
    closeWith([] {});
    QVERIFY(!m_form->isVisible());
    QCOMPARE(m_panelShows.shows, 0);
    QCOMPARE(bob().remark, std::string("In"));
    QCOMPARE(bob().color.substr(0, 1), std::string("#"));
}

QTEST_MAIN(ExitPanelTest)
#include "ExitPanelTest.moc"
