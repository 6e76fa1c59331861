// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "healthtable.h"

#include "fields.h"
#include "limittext.h"
#include "recordview.h"

#include <QColor>

#include <bit>
#include <cmath>

namespace halcyra::health {

namespace {

QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

const FieldInfo &infoOf(int field)
{
    return FieldCatalogue[static_cast<std::size_t>(field)];
}

QString captionOf(int field)
{
    const FieldInfo &f = infoOf(field);
    const QString caption =
        latin1(f.caption) + (storeOf(field) == FrameKind::T1 ? QStringLiteral(" (T1)") : QStringLiteral(" (T2)"));
    return f.unit.empty() ? caption : caption + QStringLiteral(" [") + latin1(f.unit) + QLatin1Char(']');
}

} // namespace

HealthTable::HealthTable(const HealthModel &model, QObject *parent)
    : QAbstractTableModel(parent), model_(model), locale_(QLocale::system())
{}

int HealthTable::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : kFieldCount;
}

int HealthTable::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString HealthTable::stateText(LimitState state, bool limited)
{
    if (!limited)
        return QStringLiteral("no limits");
    switch (state) {
    case LimitState::Green:
        return QStringLiteral("\u25CF green");
    case LimitState::Yellow:
        return QStringLiteral("\u25B2 yellow");
    case LimitState::Red:
        return QStringLiteral("\u25A0 RED");
    }
    return {};
}

QString HealthTable::valueText(int field, double value) const
{
    if (std::isnan(value))
        return {};
    const FieldInfo &f = infoOf(field);
    // A time reads as one; other fields to the decimals of their resolution.
    return f.display == DisplayRule::DateTime ? fieldText(f, value, locale_) : readingText(f, value, locale_);
}

QVariant HealthTable::display(int field, int column) const
{
    switch (column) {
    case Field:
        return captionOf(field);
    case Newest:
        return valueText(field, model_.newest(field));
    case State:
        return std::isnan(model_.newest(field)) ? QString()
                                                : stateText(model_.state(field), model_.limits().field(field).active());
    case PassMin:
    case PassMax: {
        const Extremes &e = model_.pass(field);
        return e.empty() ? QString() : valueText(field, column == PassMin ? e.min : e.max);
    }
    case DayMin:
    case DayMax: {
        const Extremes e = model_.day(field);
        return e.empty() ? QString() : valueText(field, column == DayMin ? e.min : e.max);
    }
    default:
        return {};
    }
}

QVariant HealthTable::stateColour(int field, int role) const
{
    if (std::isnan(model_.newest(field)) || !model_.limits().field(field).active())
        return {};
    if (role == Qt::ForegroundRole)
        return QColor(Qt::black); // on the light state colours whatever the theme
    switch (model_.state(field)) {
    case LimitState::Green:
        return QColor(190, 235, 190);
    case LimitState::Yellow:
        return QColor(255, 225, 120);
    case LimitState::Red:
        return QColor(255, 150, 150);
    }
    return {};
}

QVariant HealthTable::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= kFieldCount)
        return {};
    const int field = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return display(field, index.column());
    case Qt::BackgroundRole:
    case Qt::ForegroundRole:
        return index.column() == State || index.column() == Newest ? stateColour(field, role) : QVariant();
    case Qt::ToolTipRole:
        if (index.column() == Field || index.column() == State)
            return QString::fromStdString(limitsFieldName(field) + ": " + limitsText(model_.limits().field(field)));
        return display(field, index.column()); // a time wider than its column

    case Qt::TextAlignmentRole:
        return index.column() == Field ? QVariant() : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    default:
        return {};
    }
}

QVariant HealthTable::headerData(int section, Qt::Orientation orientation, int role) const
{
    static const char *const kHeaders[ColumnCount] = {"Field",    "Newest",   "State",   "Pass min",
                                                      "Pass max", "24 h min", "24 h max"};
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount)
        return QAbstractTableModel::headerData(section, orientation, role);
    if (role == Qt::DisplayRole)
        return QLatin1String(kHeaders[section]);
    if (role == Qt::ToolTipRole && (section == PassMin || section == PassMax))
        return QStringLiteral("Over the pass under way, or the last one: frames with no 10 minutes between them");
    if (role == Qt::ToolTipRole && (section == DayMin || section == DayMax))
        return QStringLiteral("Over the frames received in the last 24 hours, in the window and in the archive");
    return {};
}

void HealthTable::rowsChanged(const ChangedRows &rows)
{
    // One signal per run of rows, so that the view repaints those cells only.
    const auto emitRuns = [this](ChangedRows::Mask mask, int firstColumn, int lastColumn) {
        while (mask != 0) {
            const int first = std::countr_zero(mask);
            const int end = first + std::countr_one(mask >> first);
            emit dataChanged(index(first, firstColumn), index(end - 1, lastColumn));
            mask = end >= 64 ? 0 : mask & ~((ChangedRows::Mask{1} << end) - 1);
        }
    };
    emitRuns(rows.values, Newest, State);
    emitRuns(rows.pass, PassMin, PassMax);
    emitRuns(rows.day, DayMin, DayMax);
}

} // namespace halcyra::health
