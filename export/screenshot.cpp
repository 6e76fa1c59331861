// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "screenshot.h"

#include <QImageWriter>
#include <QProcess>
#include <QSaveFile>

namespace halcyra {

QString saveBitmap(const QImage &image, const QString &path)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return file.errorString();
    QImageWriter writer(&file, "bmp");
    if (!writer.write(image)) {
        file.cancelWriting();
        return writer.errorString();
    }
    if (!file.commit())
        return file.errorString();
    return {};
}

QStringList converterArguments(const QString &bitmapPath)
{
    return {QStringLiteral("-out"),  QStringLiteral("png"),    QStringLiteral("-transpcolor"), QStringLiteral("240"),
            QStringLiteral("240"),   QStringLiteral("240"),    QStringLiteral("-colors"),      QStringLiteral("256"),
            QStringLiteral("-crop"), QStringLiteral("1"),      QStringLiteral("137"),          QStringLiteral("709"),
            QStringLiteral("625"),   QStringLiteral("-quiet"), QStringLiteral("-D"),           bitmapPath};
}

bool startConverter(const QString &bitmapPath)
{
    return QProcess::startDetached(QLatin1String(kConverter), converterArguments(bitmapPath));
}

} // namespace halcyra
