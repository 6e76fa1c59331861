// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <QFont>
#include <QFontDatabase>
#include <QGuiApplication>
#include <QStringList>

namespace halcyra::fonts {

// The layout was drawn for narrow 8-point fonts: the first of `families`
// the machine has, else `fallback`.
inline QFont firstAvailable(const QStringList &families, QFont fallback, double points)
{
    for (const QString &family : families) {
        if (QFontDatabase::hasFamily(family)) {
            fallback = QFont(family);
            break;
        }
    }
    fallback.setPointSizeF(points);
    return fallback;
}

inline QFont fixed(double points)
{
    return firstAvailable({QStringLiteral("Courier New"), QStringLiteral("Liberation Mono")},
                          QFontDatabase::systemFont(QFontDatabase::FixedFont), points);
}

inline QFont sans(double points, bool bold)
{
    QFont f =
        firstAvailable({QStringLiteral("MS Sans Serif"), QStringLiteral("Arial"), QStringLiteral("Liberation Sans")},
                       QGuiApplication::font(), points);
    f.setBold(bold);
    return f;
}

} // namespace halcyra::fonts
