// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Archive > History...: the History window of this main window.

#include "historywindow.h"
#include "mainwindow.h"
#include "windowarchive.h"

#include <QAction>
#include <QMenu>

namespace halcyra {

void Form1::buildHistoryMenu()
{
    MnuHistory = MnuArchive->addAction(QStringLiteral("History..."), this, &Form1::MnuHistory_Click);
    MnuHistory->setObjectName(QStringLiteral("MnuHistory"));
    MnuHistory->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
}

void Form1::MnuHistory_Click()
{
    // One History window per main window: asked again, it comes to the front.
    if (!history_)
        history_ = new history::HistoryWindow(archive_->location(), this);
    history_->show();
    history_->raise();
    history_->activateWindow();
}

} // namespace halcyra
