// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "fieldlimits.h"

#include <QPointer>

#include <memory>
#include <string>

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace halcyra {

namespace history {
class HistoryWindow;
}

class LogBox;
class LogFollower;
class Settings;
class StatusLine;
class WindowArchive;

// The Archive menu and what stands behind it: the window's archive, and the
// History window on it.
class ArchiveMenu {
public:
    // Puts the menu into `bar` before `before`. The archive adds what `logBox`
    // holds and archives what `follower` brings; it reports to `status`.
    ArchiveMenu(QMenuBar *bar, QAction *before, LogBox *logBox, LogFollower *follower, Settings &settings,
                StatusLine &status, QWidget *window);
    ~ArchiveMenu();

    WindowArchive &archive() const { return *archive_; }
    // Archive > History...; the window connects its handler to it.
    QAction *historyAction() const { return MnuHistory; }

    // Archive > Station...: the name archived frames carry.
    void askStation();

    // One History window per main window: asked again, it comes to the front.
    void showHistory();
    // The limits History draws, now and in a History window opened later.
    void setLimits(const Limits &limits);

private:
    QWidget *window_;
    Settings &settings_;
    std::unique_ptr<WindowArchive> archive_;
    QMenu *MnuArchive;
    QAction *MnuAddToArchive;
    QAction *MnuArchiveFollowed;
    QAction *MnuStation;
    QAction *MnuHistory;
    QPointer<history::HistoryWindow> history_;
    Limits limits_;
};

} // namespace halcyra
