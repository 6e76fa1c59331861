// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "userfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <unistd.h>

namespace halcyra {

namespace {

QString userConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/halcyra");
}

} // namespace

QString configFilePath(const QString &programFolder)
{
    const QString beside = QDir(programFolder).filePath(QStringLiteral("conf.ini"));
    return QFileInfo::exists(beside) ? beside : userConfigFolder() + QStringLiteral("/conf.ini");
}

QString outputFolder(const QString &programFolder)
{
    // access() rather than the permission bits: it also knows read-only
    // mounts, and root, who may write to a folder whatever its mode.
    if (::access(QFile::encodeName(programFolder).constData(), W_OK | X_OK) == 0)
        return programFolder;
    QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (documents.isEmpty())
        documents = QDir::homePath() + QStringLiteral("/Documents");
    const QString folder = documents + QStringLiteral("/Halcyra");
    // A folder that cannot be made is reported by the write that follows,
    // with the file's name and the reason.
    QDir().mkpath(folder);
    return folder;
}

QSettings userSettings()
{
    return QSettings(settingsFilePath(), QSettings::IniFormat);
}

QString settingsFilePath()
{
    return userConfigFolder() + QStringLiteral("/halcyra.conf");
}

} // namespace halcyra
