#include "MessageSound.h"

#include "platform/Paths.h"

#include <QApplication>
#include <QAudioDevice>
#include <QFileInfo>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

namespace qb::admin {

void playMessageSound(QObject* parent)
{
    if (QMediaDevices::audioOutputs().isEmpty()) {
        QApplication::beep();
        return;
    }
    const QString file = QString::fromStdString(platform::Paths::workstationDir()) + QStringLiteral("/qbpmsg.wav");
    auto* effect = new QSoundEffect(parent);
    // The program's own chime is the one the new-message check plays.
    effect->setSource(QFileInfo(file).isFile() ? QUrl::fromLocalFile(file) : QUrl(QStringLiteral("qrc:/messages/chime.wav")));
    QObject::connect(effect, &QSoundEffect::playingChanged, effect, [effect] {
        if (!effect->isPlaying())
            effect->deleteLater();
    });
    effect->play();
}

} // namespace qb::admin
