// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "recordview.h"

#include "csv.h"
#include "numtext.h"

#include <cmath>

namespace halcyra {

char decimalSeparatorFor(const QLocale &locale)
{
    return decimalSeparatorFor(locale.decimalPoint().toStdString());
}

QString twoDecimalsText(double value, const QLocale &locale)
{
    char buffer[kNumberTextCapacity];
    return QString::fromLatin1(buffer, qsizetype(formatTwoDecimals(value, decimalSeparatorFor(locale), buffer)));
}

QString generalText(double value, const QLocale &locale)
{
    char buffer[kNumberTextCapacity];
    return QString::fromLatin1(buffer, qsizetype(formatGeneral(value, decimalSeparatorFor(locale), buffer)));
}

QString readingText(const FieldInfo &field, double value, const QLocale &locale)
{
    char buffer[kNumberTextCapacity];
    return QString::fromLatin1(buffer, qsizetype(formatReading(field, value, decimalSeparatorFor(locale), buffer)));
}

QString dateTimeText(const QDateTime &dateTime, const QLocale &locale)
{
    QString text = locale.toString(dateTime.date(), QLocale::ShortFormat);
    if (dateTime.time() == QTime(0, 0))
        return text;
    // The short time form of most locales has no seconds; telemetry needs them.
    QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
    if (!timeFormat.contains(QLatin1Char('s')))
        timeFormat.replace(QLatin1String("mm"), QLatin1String("mm:ss"));
    return text + QLatin1Char(' ') + locale.toString(dateTime.time(), timeFormat);
}

std::optional<QDateTime> UnixSecondsToDate(double seconds)
{
    // Beyond about ±2.5e11 s the year leaves 100..9999; checking first also
    // keeps the conversion to an integer defined.
    if (!std::isfinite(seconds) || std::fabs(seconds) > 3e11)
        return std::nullopt;
    const QDateTime dt =
        QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC).addSecs(static_cast<qint64>(std::floor(seconds)));
    if (!dt.isValid() || dt.date().year() < 100 || dt.date().year() > 9999)
        return std::nullopt;
    return dt;
}

QString fieldText(const FieldInfo &field, double value, const QLocale &locale)
{
    switch (field.display) {
    case DisplayRule::TwoDecimals:
        return twoDecimalsText(value, locale);
    case DisplayRule::General:
        return generalText(value, locale);
    case DisplayRule::DateTime:
        if (const auto dt = UnixSecondsToDate(std::fabs(value)))
            return dateTimeText(*dt, locale);
        return {};
    case DisplayRule::Deployed:
        return QStringLiteral("deployed");
    }
    return {};
}

RecordTexts recordTexts(const RecordStore &t1Store, const RecordStore &t2Store, int position, const QLocale &locale)
{
    RecordTexts texts;
    const TelemetryRecord *t1 = t1Store.at(position);
    const TelemetryRecord *t2 = t2Store.at(position);
    for (const FieldInfo &field : FieldCatalogue) {
        const TelemetryRecord *rec = storeOf(field.index) == FrameKind::T1 ? t1 : t2;
        if (rec)
            texts.values[static_cast<std::size_t>(field.index)] =
                fieldText(field, rec->Values[static_cast<std::size_t>(field.index)], locale);
    }
    if (t2)
        texts.frameTime =
            QString::fromLatin1(t2->FrameTime.view().data(), static_cast<qsizetype>(t2->FrameTime.size()));
    return texts;
}

} // namespace halcyra
