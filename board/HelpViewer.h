// The help window: shows the HTML topics under a help directory ("html/..."
// topic paths as the program names them) in a QTextBrowser, with Back,
// Contents and links between topics. Created once and reused.
#pragma once

#include <QString>
#include <QStringList>
#include <QWidget>

class QTextBrowser;

namespace qb::board {

class HelpViewer : public QWidget {
    Q_OBJECT
public:
    static constexpr const char* kContentsTopic = "html/Main Contents.html";
    static constexpr const char* kStartingUpTopic = "html/Starting Up.html";

    explicit HelpViewer(QWidget* parent = nullptr);

    // The help directory that ships beside the program: the "help" folder in
    // the program's directory, else ../share/quellboard/help, else the
    // installed quellboard/help of the system's data directories (for the
    // launcher's copy in the user's cache).
    static QString fixedHelpDir();
    // The help directory of the current (data) directory, tried first by
    // Contents: "./help".
    static QString localHelpDir();

    // Shows topic from the first directory of dirs that has it and raises
    // the window. False (and nothing shown) when none has it.
    bool showTopic(const QStringList& dirs, const QString& topic);
    // The file showTopic would open, or "" when none exists.
    static QString findTopic(const QStringList& dirs, const QString& topic);

    QTextBrowser* browser() const { return m_browser; }

private:
    QTextBrowser* m_browser;
    QString m_contents;
};

} // namespace qb::board
