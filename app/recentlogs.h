// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QMenu;

namespace halcyra {

class Settings;

// File > Recent Logs: the logs opened last, newest first, kept in the
// user's settings so that every window and every run shares them.
class RecentLogs : public QObject {
    Q_OBJECT
public:
    using Open = std::function<void(const QString &path)>;
    // `open` is called with the log chosen from `menu`.
    RecentLogs(QMenu *menu, Settings &settings, Open open, QObject *parent);

    // Puts the log first in the list, or takes it out of it.
    void remember(const QString &path, bool keep);
    // Fills the menu from the list as it is now.
    void fill();

private:
    QMenu *menu_;
    Settings &settings_;
    Open open_;
};

} // namespace halcyra
