// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "healthmenu.h"

#include "healthdock.h"
#include "logbox.h"
#include "logfile.h"
#include "settings.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>

namespace halcyra {

HealthMenu::HealthMenu(QMainWindow *window, QAction *before, LogBox *logBox, LogFollower *follower, Settings &settings)
{
    health::HealthDock::LogSource source{[logBox] { return logBox->parserText(); },
                                         [follower] { return follower->isFollowing(); }};
    dock_ = new health::HealthDock(std::move(source), window);
    window->addDockWidget(Qt::RightDockWidgetArea, dock_);
    QObject::connect(logBox, &LogBox::textChanged, dock_,
                     [dock = dock_, logBox] { dock->logChanged(logBox->changedFrom()); });

    MnuView = new QMenu(QStringLiteral("View"), window);
    MnuView->setObjectName(QStringLiteral("MnuView"));
    window->menuBar()->insertMenu(before, MnuView);
    MnuHealth = dock_->toggleViewAction();
    MnuHealth->setText(QStringLiteral("Health"));
    MnuHealth->setObjectName(QStringLiteral("MnuHealth"));
    MnuView->addAction(MnuHealth);
    // Remembered when the user opens or closes it, not when the window's
    // closing hides it.
    QObject::connect(MnuHealth, &QAction::triggered, dock_,
                     [&settings](bool shown) { settings.set(keys::healthShown, shown); });
    QObject::connect(dock_, &health::HealthDock::closedByUser, dock_,
                     [&settings] { settings.set(keys::healthShown, false); });
    dock_->setVisible(settings.get(keys::healthShown));
}

HealthMenu::~HealthMenu() = default;

void HealthMenu::configure(const Limits &limits, const QString &refusal, const std::string &archiveLocation)
{
    dock_->setLimits(limits, refusal);
    dock_->setArchive(archiveLocation);
}

} // namespace halcyra
