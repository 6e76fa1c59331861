// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "archivemenu.h"

#include "historywindow.h"
#include "windowarchive.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace halcyra {

ArchiveMenu::ArchiveMenu(QMenuBar *bar, QAction *before, LogBox *logBox, LogFollower *follower, Settings &settings,
                         StatusLine &status, QWidget *window)
    : window_(window), settings_(settings),
      archive_(std::make_unique<WindowArchive>(logBox, follower, settings, status, window))
{
    MnuArchive = new QMenu(QStringLiteral("Archive"), window);
    MnuArchive->setObjectName(QStringLiteral("MnuArchive"));
    bar->insertMenu(before, MnuArchive);
    MnuAddToArchive =
        MnuArchive->addAction(QStringLiteral("Add Log to Archive"), archive_.get(), &WindowArchive::addLogBox);
    MnuAddToArchive->setObjectName(QStringLiteral("MnuAddToArchive"));
    MnuArchiveFollowed = MnuArchive->addAction(QStringLiteral("Archive Followed Frames"));
    MnuArchiveFollowed->setObjectName(QStringLiteral("MnuArchiveFollowed"));
    MnuArchiveFollowed->setCheckable(true);
    MnuArchiveFollowed->setChecked(archive_->archivesFollowed());
    QObject::connect(MnuArchiveFollowed, &QAction::toggled, archive_.get(), &WindowArchive::setArchiveFollowed);
    MnuHistory = MnuArchive->addAction(QStringLiteral("History..."));
    MnuHistory->setObjectName(QStringLiteral("MnuHistory"));
    MnuHistory->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
}

ArchiveMenu::~ArchiveMenu() = default;

void ArchiveMenu::showHistory()
{
    if (!history_)
        history_ = new history::HistoryWindow(archive_->location(), settings_, window_);
    history_->show();
    history_->raise();
    history_->activateWindow();
}

} // namespace halcyra
