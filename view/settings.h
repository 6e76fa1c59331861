// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <QByteArray>
#include <QSettings>
#include <QString>
#include <QStringList>

namespace halcyra {

// A remembered value: its name in the file and what it is before anything
// was remembered. Every key the windows use is declared below, once.
template <typename T> struct SettingKey {
    const char *name;
    T fallback;
};

namespace keys {
// The main window.
inline const SettingKey<QStringList> recentLogs{"recentLogs", {}};
inline const SettingKey<QStringList> recentTncs{"recentTncs", {}}; // File > Connect to TNC, newest first
inline const SettingKey<bool> archiveFollowed{"archive/followedFrames", true};
inline const SettingKey<QString> archiveStation{"archive/station", {}};
inline const SettingKey<QString> exportKinds{"export/kinds", {}}; // "t1", "t2", "both"
inline const SettingKey<bool> exportFrameTime{"export/frameTime", true};
inline const SettingKey<bool> exportLocaleSeparator{"export/localeSeparator", true};
inline const SettingKey<QString> exportFolder{"export/folder", {}};
inline const SettingKey<bool> healthShown{"health/shown", false}; // View > Health
// The History window.
inline const SettingKey<QByteArray> historyGeometry{"History/geometry", {}};
inline const SettingKey<QStringList> historyFields{"History/fields", {}};
inline const SettingKey<QString> historyRange{"History/range", {}};
inline const SettingKey<qlonglong> historyFrom{"History/from", 0};
inline const SettingKey<qlonglong> historyTo{"History/to", 0};
inline const SettingKey<bool> historyArchiveOrder{"History/archiveOrder", false};
inline const SettingKey<QString> historyPlotFolder{"History/plotFolder", {}};
inline const SettingKey<QString> historyExportFolder{"History/exportFolder", {}};
} // namespace keys

// What the windows remember from one run to the next, in one file that every
// window and every run shares: $XDG_CONFIG_HOME/halcyra/halcyra.conf
// (~/.config when that is unset), beside the user's conf.ini. One object is
// made at start and handed to each window that remembers something.
class Settings {
public:
    explicit Settings(const QString &file = defaultFile());

    static QString defaultFile();

    template <typename T> T get(const SettingKey<T> &key) const
    {
        return settings_.value(QLatin1String(key.name), QVariant::fromValue(key.fallback)).template value<T>();
    }
    template <typename T> void set(const SettingKey<T> &key, const T &value)
    {
        settings_.setValue(QLatin1String(key.name), QVariant::fromValue(value));
    }

private:
    QSettings settings_;
};

} // namespace halcyra
