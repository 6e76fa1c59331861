// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "recentlogs.h"

#include "settings.h"

#include <QAction>
#include <QDir>
#include <QFileInfo>
#include <QMenu>

#include <utility>

namespace halcyra {

namespace {

constexpr qsizetype kRecentLogCount = 5;

// A recent log as the menu shows it: the home folder as "~", and "&" shown
// rather than taken for a mnemonic.
QString recentLogText(const QString &path)
{
    const QString home = QDir::homePath();
    QString text = QDir::toNativeSeparators(
        path.startsWith(home + QLatin1Char('/')) ? QLatin1Char('~') + path.mid(home.size()) : path);
    return text.replace(QLatin1Char('&'), QStringLiteral("&&"));
}

} // namespace

RecentLogs::RecentLogs(QMenu *menu, Settings &settings, Open open, QObject *parent)
    : QObject(parent), menu_(menu), settings_(settings), open_(std::move(open))
{}

void RecentLogs::remember(const QString &path, bool keep)
{
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList logs = settings_.get(keys::recentLogs);
    logs.removeAll(absolute);
    if (keep)
        logs.prepend(absolute);
    settings_.set(keys::recentLogs, logs.mid(0, kRecentLogCount));
}

void RecentLogs::fill()
{
    menu_->clear();
    const QStringList logs = settings_.get(keys::recentLogs).mid(0, kRecentLogCount);
    for (qsizetype i = 0; i < logs.size(); ++i) {
        const QString path = logs[i];
        QAction *entry = menu_->addAction(QStringLiteral("&%1 %2").arg(i + 1).arg(recentLogText(path)));
        // Queued: opening may ask in a message box, and this menu is rebuilt while it is open.
        connect(
            entry, &QAction::triggered, this, [this, path] { open_(path); }, Qt::QueuedConnection);
    }
    menu_->setEnabled(!logs.isEmpty());
}

} // namespace halcyra
