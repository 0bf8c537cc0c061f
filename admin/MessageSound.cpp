#include "MessageSound.h"

#include "platform/Paths.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QAudioDevice>
#include <QMediaDevices>
#include <QSoundEffect>
#include <QUrl>

#include <cmath>
#include <cstdint>

namespace qb::admin {

namespace {

// Our own chime: two short decaying tones, 16-bit mono PCM at 22050 Hz.
QByteArray chimeWave()
{
    constexpr int kRate = 22050;
    constexpr double kPi = 3.14159265358979323846;
    QByteArray pcm;
    for (double freq : {880.0, 1318.5}) {
        const int n = kRate * 22 / 100;
        for (int i = 0; i < n; ++i) {
            const double t = double(i) / kRate;
            const double v = std::sin(2 * kPi * freq * t) * std::exp(-t * 9) * 0.45;
            const auto s = static_cast<std::int16_t>(v * 32767);
            pcm.append(static_cast<char>(s & 0xFF));
            pcm.append(static_cast<char>((s >> 8) & 0xFF));
        }
    }
    auto u32 = [](QByteArray& b, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            b.append(static_cast<char>((v >> (8 * i)) & 0xFF));
    };
    auto u16 = [](QByteArray& b, std::uint16_t v) {
        b.append(static_cast<char>(v & 0xFF));
        b.append(static_cast<char>(v >> 8));
    };
    QByteArray w("RIFF");
    u32(w, static_cast<std::uint32_t>(36 + pcm.size()));
    w.append("WAVEfmt ");
    u32(w, 16);
    u16(w, 1);
    u16(w, 1);
    u32(w, kRate);
    u32(w, kRate * 2);
    u16(w, 2);
    u16(w, 16);
    w.append("data");
    u32(w, static_cast<std::uint32_t>(pcm.size()));
    return w + pcm;
}

// The chime as a file in the user's own cache directory, written once.
QString chimeFile()
{
    const QString dir = QString::fromStdString(platform::Paths::cacheDir());
    const QString path = dir + QStringLiteral("/chime.wav");
    if (QFileInfo(path).size() > 44)
        return path;
    QDir().mkpath(dir);
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(chimeWave()) < 0)
        return {};
    return path;
}

} // namespace

void playMessageSound(QObject* parent)
{
    if (QMediaDevices::audioOutputs().isEmpty()) {
        QApplication::beep();
        return;
    }
    QString file = QString::fromStdString(platform::Paths::workstationDir()) + QStringLiteral("/qbpmsg.wav");
    if (!QFileInfo(file).isFile())
        file = chimeFile();
    if (file.isEmpty()) {
        QApplication::beep();
        return;
    }
    auto* effect = new QSoundEffect(parent);
    effect->setSource(QUrl::fromLocalFile(file));
    QObject::connect(effect, &QSoundEffect::playingChanged, effect, [effect] {
        if (!effect->isPlaying() && effect->status() != QSoundEffect::Loading)
            effect->deleteLater();
    });
    effect->play();
}

} // namespace qb::admin
