// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Archive > History...: the History window of this main window.

#include "archive.h"
#include "historywindow.h"
#include "mainwindow.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>

namespace halcyra {

void Form1::buildHistoryMenu()
{
    // The Archive menu, wherever it was built; before Info when it is new.
    auto *menu = menuBar()->findChild<QMenu *>(QStringLiteral("MnuArchive"));
    if (!menu) {
        menu = new QMenu(QStringLiteral("Archive"), menuBar());
        menu->setObjectName(QStringLiteral("MnuArchive"));
        menuBar()->insertMenu(MnuInfo, menu);
    }
    MnuHistory = menu->addAction(QStringLiteral("History..."), this, &Form1::MnuHistory_Click);
    MnuHistory->setObjectName(QStringLiteral("MnuHistory"));
    MnuHistory->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_H));
}

void Form1::MnuHistory_Click()
{
    // One History window per main window: asked again, it comes to the front.
    if (!history_)
        history_ = new history::HistoryWindow(archive::defaultArchiveLocation(), this);
    history_->show();
    history_->raise();
    history_->activateWindow();
}

} // namespace halcyra
