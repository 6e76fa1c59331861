// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "fieldlimits.h"

#include <QString>

#include <memory>
#include <optional>
#include <string>

class QAction;
class QMainWindow;
class QMenu;

namespace halcyra {

namespace health {
class HealthDock;
}

class LogBox;
class LogFollower;
class Settings;

// The View menu and the Health view behind it, a dock of the main window
// that stays open or closed from one run to the next.
class HealthMenu {
public:
    // Puts the menu into the window's menu bar before `before`; the view
    // reads the frames of `logBox`.
    HealthMenu(QMainWindow *window, QAction *before, LogBox *logBox, LogFollower *follower, Settings &settings);
    ~HealthMenu();

    // At each start: the window's limits (`refusal` says why there are none,
    // when a file was refused), and the archive whose last 24 hours count.
    void configure(const Limits &limits, const QString &refusal, const std::string &archiveLocation);

    health::HealthDock *dock() const { return dock_; }
    // View > Health.
    QAction *healthAction() const { return MnuHealth; }

private:
    health::HealthDock *dock_;
    QMenu *MnuView;
    QAction *MnuHealth;
};

} // namespace halcyra
