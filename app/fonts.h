// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>

namespace halcyra::fonts {

// "Courier New" where the machine has it, else the platform's fixed-pitch font.
inline QFont fixed(double points)
{
    QFont f = QFontDatabase::hasFamily(QStringLiteral("Courier New"))
                  ? QFont(QStringLiteral("Courier New"))
                  : QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setPointSizeF(points);
    return f;
}

// "MS Sans Serif" where the machine has it, else the default sans font.
inline QFont sans(double points, bool bold)
{
    QFont f = QFontDatabase::hasFamily(QStringLiteral("MS Sans Serif")) ? QFont(QStringLiteral("MS Sans Serif"))
                                                                        : QGuiApplication::font();
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

} // namespace halcyra::fonts
