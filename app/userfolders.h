// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <QSettings>
#include <QString>

namespace halcyra {

// conf.ini beside the program when there is one there; otherwise the user's
// own, $XDG_CONFIG_HOME/halcyra/conf.ini (~/.config when that is unset).
QString configFilePath(const QString &programFolder);

// The folder the CSV file and the screenshot go to: the program folder when
// this user may create files in it, otherwise "Halcyra" in the user's
// documents folder, created here. An installed program's folder (/usr/bin)
// is nobody's to write to but root's.
QString outputFolder(const QString &programFolder);

// The window's remembered state (recent logs, the export's last folder and
// choices), beside the user's conf.ini.
QString settingsFilePath();
QSettings userSettings();

} // namespace halcyra
