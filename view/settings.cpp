// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "settings.h"

#include <QStandardPaths>

namespace halcyra {

Settings::Settings(const QString &file) : settings_(file, QSettings::IniFormat) {}

QString Settings::defaultFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/halcyra/halcyra.conf");
}

} // namespace halcyra
