// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <QString>

namespace halcyra {

// conf.ini beside the program when there is one there; otherwise the user's
// own, $XDG_CONFIG_HOME/halcyra/conf.ini (~/.config when that is unset).
QString configFilePath(const QString &programFolder);

// The folder the CSV file and the screenshot go to: the program folder when
// the program runs from its build or a folder of this user's that they may
// write to, otherwise "Halcyra" in the user's documents folder, created here.
// An installed program's folder (/usr/bin, /usr/local, /opt) is never used,
// also not by root, who may write there.
QString outputFolder(const QString &programFolder);

} // namespace halcyra
