#include "HelpViewer.h"

#include "platform/Paths.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QHBoxLayout>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace qb::board {

HelpViewer::HelpViewer(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Quellboard Pro Help"));
    resize(640, 560);

    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    m_browser->setOpenExternalLinks(true); // web addresses go to the browser
    m_browser->setOpenLinks(true);

    auto* back = new QPushButton(QStringLiteral("&Back"), this);
    auto* contents = new QPushButton(QStringLiteral("&Contents"), this);
    auto* close = new QPushButton(QStringLiteral("&Close"), this);
    back->setEnabled(false);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(contents, &QPushButton::clicked, this, [this] {
        if (!m_contents.isEmpty())
            m_browser->setSource(QUrl::fromLocalFile(m_contents));
    });
    connect(close, &QPushButton::clicked, this, &QWidget::close);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(back);
    buttons->addWidget(contents);
    buttons->addStretch(1);
    buttons->addWidget(close);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser, 1);
}

QString HelpViewer::fixedHelpDir()
{
    const QString programDir = QString::fromStdString(platform::Paths::programDir());
    const QString beside = programDir + QStringLiteral("/help");
    if (QFileInfo::exists(beside + QStringLiteral("/html")))
        return beside;
    const QString installed = QDir::cleanPath(programDir + QStringLiteral("/../share/quellboard/help"));
    if (QFileInfo::exists(installed + QStringLiteral("/html")))
        return installed;
    // A copy the launcher runs from the user's cache has neither beside it:
    // the installed topics of the system's data directories serve it.
    const QString system = QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                                  QStringLiteral("quellboard/help/html"), QStandardPaths::LocateDirectory);
    return system.isEmpty() ? installed : QFileInfo(system).path();
}

QString HelpViewer::localHelpDir() { return QDir::currentPath() + QStringLiteral("/help"); }

QString HelpViewer::findTopic(const QStringList& dirs, const QString& topic)
{
    for (const QString& dir : dirs) {
        QFileInfo f(dir + QLatin1Char('/') + topic);
        if (f.isFile() && f.isReadable())
            return f.absoluteFilePath();
    }
    return {};
}

bool HelpViewer::showTopic(const QStringList& dirs, const QString& topic)
{
    const QString file = findTopic(dirs, topic);
    if (file.isEmpty())
        return false;
    const QString contents = QFileInfo(file).absolutePath() + QStringLiteral("/Main Contents.html");
    m_contents = QFileInfo::exists(contents) ? contents : file;
    m_browser->setSource(QUrl::fromLocalFile(file));
    show();
    raise();
    activateWindow();
    return true;
}

} // namespace qb::board
