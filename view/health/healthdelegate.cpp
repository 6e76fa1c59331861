// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "healthdelegate.h"

#include <QPainter>

namespace halcyra::health {

namespace {
constexpr int kMargin = 3;
}

void HealthDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const bool selected = option.state & QStyle::State_Selected;
    const QVariant ground = index.data(Qt::BackgroundRole);
    if (selected)
        painter->fillRect(option.rect, option.palette.highlight());
    else if (ground.isValid())
        painter->fillRect(option.rect, ground.value<QColor>());
    QString text = index.data(Qt::DisplayRole).toString();
    if (text.isEmpty())
        return;
    const QVariant ink = index.data(Qt::ForegroundRole);
    painter->setPen(selected        ? option.palette.highlightedText().color()
                    : ink.isValid() ? ink.value<QColor>()
                                    : option.palette.text().color());
    const QRect room = option.rect.adjusted(kMargin, 0, -kMargin, 0);
    const QFontMetrics &metrics = option.fontMetrics;
    int width = metrics.horizontalAdvance(text);
    if (width > room.width()) {
        text = metrics.elidedText(text, Qt::ElideRight, room.width());
        width = metrics.horizontalAdvance(text);
    }
    const bool right = index.data(Qt::TextAlignmentRole).toInt() & Qt::AlignRight;
    const int x = right ? room.right() + 1 - width : room.left();
    const int y = room.top() + (room.height() - metrics.height()) / 2 + metrics.ascent();
    painter->setFont(option.font);
    painter->drawText(QPoint(x, y), text);
}

} // namespace halcyra::health
