// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

namespace halcyra {

inline constexpr char kScreenshotPrefix[] = "halcyra_";
inline constexpr char kConverter[] = "nconvert";

// Writes `image` as a Windows bitmap at `path`, whatever its name ends
// with; the old file is replaced only by a complete new one. Returns the
// reason on failure, an empty text on success.
QString saveBitmap(const QImage &image, const QString &path);

// The converter's arguments: a cropped PNG of the grid and the chart, the
// window grey made transparent, the bitmap removed afterwards.
QStringList converterArguments(const QString &bitmapPath);

// Starts the converter without a shell and without waiting for it.
bool startConverter(const QString &bitmapPath);

} // namespace halcyra
