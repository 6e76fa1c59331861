// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "healthmodel.h"

#include <QAbstractTableModel>
#include <QLocale>

namespace halcyra::health {

// The Health view's table over a HealthModel: a row per field. A state is
// told by a word and a shape as well as by its colour, so that it reads
// without telling colours apart.
class HealthTable : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { Field, Newest, State, PassMin, PassMax, DayMin, DayMax, ColumnCount };

    explicit HealthTable(const HealthModel &model, QObject *parent = nullptr);

    int rowCount(const QModelIndex &parent = QModelIndex()) const override;
    int columnCount(const QModelIndex &parent = QModelIndex()) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

    // The model changed in these rows: the view shows it.
    void rowsChanged(const ChangedRows &rows);

    // The text a state shows, shape and word; empty before the field's first frame.
    static QString stateText(LimitState state, bool limited);

private:
    QString valueText(int field, double value) const;
    QVariant display(int field, int column) const;
    QVariant stateColour(int field, int role) const;

    const HealthModel &model_;
    QLocale locale_;
};

} // namespace halcyra::health
