// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "parsenotice.h"

#include <QStringList>

namespace halcyra {

namespace {

QString wrongLength(std::uint64_t lines, const char *kind)
{
    return lines == 1 ? QStringLiteral("1 %1 line has the wrong length and was not decoded").arg(QLatin1String(kind))
                      : QStringLiteral("%1 %2 lines have the wrong length and were not decoded")
                            .arg(lines)
                            .arg(QLatin1String(kind));
}

QString ignored(std::uint64_t frames, const char *kind)
{
    return QStringLiteral("Only the first %1 %2 frames are kept; %3 more %4 ignored")
        .arg(kStoreCapacity)
        .arg(QLatin1String(kind))
        .arg(frames)
        .arg(frames == 1 ? QLatin1String("was") : QLatin1String("were"));
}

} // namespace

QString parseNotice(const CycleResult &result, std::string_view text, bool lastLineArriving)
{
    std::uint64_t t1WrongLength = result.lines.t1WrongLength;
    std::uint64_t t2WrongLength = result.lines.t2WrongLength;
    // The counts include an unfinished last line; a frame there is still arriving.
    if (lastLineArriving) {
        if (const auto last = unfinishedLastLine(text)) {
            const LineFrame frame = LineParser().parse(*last).frame;
            t1WrongLength -= frame == LineFrame::T1WrongLength ? 1 : 0;
            t2WrongLength -= frame == LineFrame::T2WrongLength ? 1 : 0;
        }
    }

    QStringList parts;
    if (result.t1Ignored() > 0)
        parts << ignored(result.t1Ignored(), "T1");
    if (result.t2Ignored() > 0)
        parts << ignored(result.t2Ignored(), "T2");
    if (t1WrongLength > 0)
        parts << wrongLength(t1WrongLength, "T1");
    if (t2WrongLength > 0)
        parts << wrongLength(t2WrongLength, "T2");
    return parts.join(QStringLiteral(". "));
}

} // namespace halcyra
