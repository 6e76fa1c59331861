// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "userfolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

namespace halcyra {

namespace {

QString userConfigFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + QStringLiteral("/halcyra");
}

// Where a package or an administrator installs programs. Root may write
// there, but CSV files and screenshots do not belong among the programs.
bool isSystemFolder(const QString &folder)
{
    const QString path = QFileInfo(folder).canonicalFilePath();
    for (const char *system : {"/usr", "/opt", "/bin", "/sbin", "/lib", "/lib64"}) {
        const QString prefix = QLatin1String(system);
        if (path == prefix || path.startsWith(prefix + QLatin1Char('/')))
            return true;
    }
    return false;
}

// The program runs from its build or from a folder the user unpacked it
// into: theirs, outside the system's folders, and writable.
bool takesOutput(const QString &programFolder)
{
    struct stat st {};
    const QByteArray path = QFile::encodeName(programFolder);
    if (::stat(path.constData(), &st) != 0 || st.st_uid != ::geteuid() || isSystemFolder(programFolder))
        return false;
    // access() rather than the permission bits: it also knows read-only mounts.
    return ::access(path.constData(), W_OK | X_OK) == 0;
}

} // namespace

QString configFilePath(const QString &programFolder)
{
    const QString beside = QDir(programFolder).filePath(QStringLiteral("conf.ini"));
    return QFileInfo::exists(beside) ? beside : userConfigFolder() + QStringLiteral("/conf.ini");
}

QString outputFolder(const QString &programFolder)
{
    if (takesOutput(programFolder))
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

} // namespace halcyra
