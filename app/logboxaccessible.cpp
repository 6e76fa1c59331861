// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "logboxaccessible.h"

#include "logbox.h"

#include <algorithm>

namespace halcyra {

LogBoxAccessible::LogBoxAccessible(LogBox *box) : QAccessibleWidget(box, QAccessible::EditableText) {}

QAccessibleInterface *LogBoxAccessible::create(const QString &, QObject *object)
{
    auto *box = qobject_cast<LogBox *>(object);
    return box ? new LogBoxAccessible(box) : nullptr;
}

LogBox *LogBoxAccessible::box() const
{
    return static_cast<LogBox *>(widget());
}

void *LogBoxAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface)
        return static_cast<QAccessibleTextInterface *>(this);
    if (type == QAccessible::EditableTextInterface)
        return static_cast<QAccessibleEditableTextInterface *>(this);
    return QAccessibleWidget::interface_cast(type);
}

QAccessible::State LogBoxAccessible::state() const
{
    QAccessible::State s = QAccessibleWidget::state();
    s.editable = true;
    s.multiLine = true;
    s.selectableText = true;
    return s;
}

QString LogBoxAccessible::text(QAccessible::Text t) const
{
    return t == QAccessible::Value ? box()->toPlainText() : QAccessibleWidget::text(t);
}

void LogBoxAccessible::setText(QAccessible::Text t, const QString &text)
{
    // The whole text replaced is an edit like any other: undo brings the
    // log back, where a new text (a log opened) would forget it.
    if (t == QAccessible::Value)
        box()->replaceText(0, characterCount(), text);
    else
        QAccessibleWidget::setText(t, text);
}

void LogBoxAccessible::selection(int index, int *start, int *end) const
{
    const auto [from, to] = std::minmax(box()->cursor_, box()->anchor_);
    const bool one = index == 0 && from != to;
    *start = one ? static_cast<int>(from) : 0;
    *end = one ? static_cast<int>(to) : 0;
}

int LogBoxAccessible::selectionCount() const
{
    return box()->hasSelection() ? 1 : 0;
}

void LogBoxAccessible::addSelection(int start, int end)
{
    box()->setSelection(start, end);
}

void LogBoxAccessible::removeSelection(int)
{
    box()->setCursorPosition(box()->cursorPosition());
}

void LogBoxAccessible::setSelection(int, int start, int end)
{
    box()->setSelection(start, end);
}

int LogBoxAccessible::cursorPosition() const
{
    return box()->cursorPosition();
}

void LogBoxAccessible::setCursorPosition(int position)
{
    box()->setCursorPosition(position);
}

QString LogBoxAccessible::text(int start, int end) const
{
    const std::string_view all = box()->parserText();
    const std::size_t from = std::min(static_cast<std::size_t>(std::max(start, 0)), all.size());
    const std::size_t to = std::clamp(static_cast<std::size_t>(std::max(end, 0)), from, all.size());
    return QString::fromLatin1(all.data() + from, static_cast<qsizetype>(to - from));
}

int LogBoxAccessible::characterCount() const
{
    return static_cast<int>(box()->buffer().size());
}

QRect LogBoxAccessible::characterRect(int offset) const
{
    const QRect r = box()->positionRect(static_cast<std::size_t>(std::max(offset, 0)));
    return r.isNull() ? r : QRect(box()->viewport()->mapToGlobal(r.topLeft()), r.size());
}

int LogBoxAccessible::offsetAtPoint(const QPoint &point) const
{
    return static_cast<int>(box()->positionAt(box()->viewport()->mapFromGlobal(point)));
}

void LogBoxAccessible::scrollToSubstring(int start, int)
{
    box()->setCursorPosition(start);
}

QString LogBoxAccessible::attributes(int offset, int *start, int *end) const
{
    *start = *end = offset;
    return {};
}

void LogBoxAccessible::deleteText(int start, int end)
{
    box()->replaceText(start, end, QString());
}

void LogBoxAccessible::insertText(int offset, const QString &text)
{
    box()->replaceText(offset, offset, text);
}

void LogBoxAccessible::replaceText(int start, int end, const QString &text)
{
    box()->replaceText(start, end, text);
}

} // namespace halcyra
