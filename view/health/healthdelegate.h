// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <QStyledItemDelegate>

namespace halcyra::health {

// Paints a cell of the Health table as one line of text on its ground. The
// style's own painting lays out every cell as a paragraph, which made painting
// a frame's cells cost more than the 2 ms a frame may take.
class HealthDelegate : public QStyledItemDelegate {
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
};

} // namespace halcyra::health
