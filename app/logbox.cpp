// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "logbox.h"

#include "logboxaccessible.h"
#include "logtext.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDropEvent>
#include <QFocusEvent>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScrollBar>
#include <QStyleHints>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <functional>

namespace halcyra {

namespace {

// Room between the frame and the text, as Qt's own text boxes leave it.
constexpr int kMargin = 4;

int pixels(long long x)
{
    return static_cast<int>(std::clamp<long long>(x, INT_MIN / 2, INT_MAX / 2));
}

std::string latin1Bytes(const QString &text)
{
    const QByteArray bytes = text.toLatin1(); // beyond Latin-1: '?'
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

QString fromBytes(std::string_view bytes)
{
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

QString withShortcut(const QString &text, QKeySequence::StandardKey key)
{
    const QString shortcut = QKeySequence(key).toString(QKeySequence::NativeText);
    return shortcut.isEmpty() ? text : text + QLatin1Char('\t') + shortcut;
}

} // namespace

LogBox::LogBox(QWidget *parent) : QAbstractScrollArea(parent)
{
    static const bool accessible = (QAccessible::installFactory(&LogBoxAccessible::create), true);
    (void)accessible;
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setAcceptDrops(true);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    connect(&blink_, &QTimer::timeout, this, [this] {
        caretShown_ = !caretShown_;
        viewport()->update(cursorRect());
    });
    autoScroll_.setInterval(50);
    connect(&autoScroll_, &QTimer::timeout, this, &LogBox::autoScroll);
    updateMetrics();
    updateScrollBars();
}

QString LogBox::toPlainText() const
{
    return fromBytes(buffer_.text());
}

void LogBox::setPlainText(const QString &text)
{
    setText(latin1Bytes(text));
}

void LogBox::setText(std::string_view text)
{
    // The old text goes first, so that a log read again is not held three
    // times; unless the new text is a part of it.
    const std::string_view old = buffer_.text();
    const std::less<const char *> before;
    if (text.empty() || before(text.data(), old.data()) || !before(text.data(), old.data() + old.size()))
        buffer_.setText(LogBytes());
    setText(LogBytes(text));
}

void LogBox::setText(LogBytes text)
{
    buffer_.setText(std::move(text));
    tabColumns_ = 0;
    cursor_ = anchor_ = 0;
    wantedColumn_ = 0;
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    changed();
}

void LogBox::appendText(std::string_view text)
{
    if (text.empty())
        return;
    if (QAccessible::isActive()) {
        QAccessibleTextInsertEvent event(this, static_cast<int>(buffer_.size()), fromBytes(text));
        QAccessible::updateAccessibility(&event);
    }
    const std::size_t at = buffer_.size();
    buffer_.append(text);
    changed(at, Rows::FromThere);
}

void LogBox::insertText(const QString &text)
{
    replaceSelection(latin1Bytes(text), LogBuffer::Kind::Edit);
}

void LogBox::replaceText(int from, int to, const QString &text)
{
    if (from == to && text.isEmpty())
        return;
    const auto clamped = [this](int position) {
        return std::min(static_cast<std::size_t>(std::max(position, 0)), buffer_.size());
    };
    anchor_ = clamped(from);
    cursor_ = clamped(to);
    replaceSelection(latin1Bytes(text), LogBuffer::Kind::Edit);
}

void LogBox::setCursorPosition(int position)
{
    std::size_t at = std::min(static_cast<std::size_t>(std::max(position, 0)), buffer_.size());
    if (buffer_.insideLineEnd(at))
        --at; // before the line end, where a click there puts it
    moveCursor(at, Move::Keep);
    ensureCursorVisible();
}

QString LogBox::selectedText() const
{
    const auto [from, to] = std::minmax(cursor_, anchor_);
    return fromBytes(buffer_.text().substr(from, to - from));
}

void LogBox::setSelection(int anchor, int position)
{
    setCursorPosition(anchor);
    const std::size_t from = cursor_;
    setCursorPosition(position);
    anchor_ = from;
    viewport()->update();
}

void LogBox::setPlaceholderText(const QString &text)
{
    placeholder_ = text;
    viewport()->update();
}

void LogBox::clear()
{
    if (buffer_.size() == 0)
        return;
    anchor_ = 0;
    cursor_ = buffer_.size();
    replaceSelection({}, LogBuffer::Kind::Edit);
}

void LogBox::copy() const
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(selectedText());
}

void LogBox::cut()
{
    if (!hasSelection())
        return;
    copy();
    replaceSelection({}, LogBuffer::Kind::Edit);
}

void LogBox::paste()
{
    const QString text = QGuiApplication::clipboard()->text();
    if (!text.isEmpty())
        insertText(text);
}

void LogBox::selectAll()
{
    anchor_ = 0;
    moveCursor(buffer_.size(), Move::Select);
}

void LogBox::undo()
{
    if (buffer_.canUndo())
        selectChange(buffer_.undo());
}

void LogBox::redo()
{
    if (buffer_.canRedo())
        selectChange(buffer_.redo());
}

void LogBox::selectChange(LogBuffer::Change change)
{
    // What came back is selected, so that the user sees what changed.
    anchor_ = change.at;
    cursor_ = change.at + change.length;
    changed();
    moveCursor(cursor_, Move::Select);
    ensureCursorVisible();
}

void LogBox::replaceSelection(std::string_view bytes, LogBuffer::Kind kind)
{
    const auto [from, to] = std::minmax(cursor_, anchor_);
    if (from == to && bytes.empty())
        return;
    if (QAccessible::isActive()) {
        const QString removed = fromBytes(buffer_.text().substr(from, to - from));
        QAccessibleTextUpdateEvent event(this, static_cast<int>(from), removed, fromBytes(bytes));
        QAccessible::updateAccessibility(&event);
    }
    const std::size_t lines = buffer_.lineCount();
    const bool inOneLine = buffer_.lineOf(from) == buffer_.lineOf(to);
    buffer_.replace(from, to - from, bytes, kind);
    anchor_ = cursor_ = from + bytes.size();
    // A CR typed before the LF of a line end makes it part of a new CR LF:
    // the cursor goes on past it rather than stop inside.
    if (buffer_.insideLineEnd(cursor_))
        anchor_ = ++cursor_;
    changed(from, inOneLine && lines == buffer_.lineCount() ? Rows::One : Rows::FromThere);
    wantedColumn_ = logtext::columnOf(buffer_, cursor_);
    restartBlink();
    ensureCursorVisible();
}

void LogBox::changed(std::size_t from, Rows rows)
{
    // A change by the followed file or by undo may have moved the text under
    // the cursor; it stays in the text and out of any line end.
    const std::size_t size = buffer_.size();
    cursor_ = std::min(cursor_, size);
    anchor_ = std::min(anchor_, size);
    if (buffer_.insideLineEnd(cursor_))
        --cursor_;
    if (buffer_.insideLineEnd(anchor_))
        --anchor_;
    if (size == 0)
        tabColumns_ = 0;
    widestColumns_ = std::max(buffer_.longestLine(), tabColumns_);
    updateScrollBars();
    // Only the rows that changed are drawn again: typing redraws its line,
    // and a frame arriving below the view none.
    const long long row = static_cast<long long>(buffer_.lineOf(std::min(from, size))) - verticalScrollBar()->value();
    if (row <= visibleLines()) {
        const int y = kMargin + static_cast<int>(std::max(0LL, row)) * lineHeight_;
        const int height = rows == Rows::One && row >= 0 ? lineHeight_ : viewport()->height() - y;
        viewport()->update(0, row < 0 ? 0 : y, viewport()->width(), row < 0 ? viewport()->height() : height);
    }
    announceCursor();
    changedFrom_ = std::min(from, size);
    emit textChanged();
}

void LogBox::moveCursor(std::size_t position, Move move)
{
    buffer_.endTyping();
    const std::size_t oldCursor = cursor_, oldAnchor = anchor_;
    cursor_ = position;
    if (move == Move::Keep)
        anchor_ = position;
    wantedColumn_ = logtext::columnOf(buffer_, cursor_);
    restartBlink();
    if (oldCursor != cursor_ || oldAnchor != anchor_) {
        viewport()->update();
        announceCursor();
    }
}

void LogBox::ensureCursorVisible()
{
    const int line = static_cast<int>(buffer_.lineOf(cursor_));
    QScrollBar *v = verticalScrollBar();
    if (line < v->value())
        v->setValue(line);
    else if (line >= v->value() + visibleLines())
        v->setValue(line - visibleLines() + 1);
    const std::size_t column = logtext::columnOf(buffer_, cursor_);
    if (column + 1 > widestColumns_) {
        // Tabs beyond the right edge make a line wider than its bytes.
        tabColumns_ = widestColumns_ = column + 1;
        updateScrollBars();
    }
    QScrollBar *h = horizontalScrollBar();
    const long long x = static_cast<long long>(column) * charWidth_;
    const int width = viewport()->width() - 2 * kMargin;
    if (x < h->value())
        h->setValue(pixels(x - width / 4));
    else if (x + charWidth_ > h->value() + width)
        h->setValue(pixels(x + charWidth_ - width + width / 4));
}

void LogBox::updateMetrics()
{
    // The text is laid out in cells of whole pixels, so that a column is at
    // the same place for the caret, the selection and the mouse as for the
    // glyphs: a font whose advance has a fraction of a pixel (hinting off,
    // a scaled screen) is spaced out to the next whole pixel.
    QFont cells = font();
    const qreal advance = QFontMetricsF(cells).horizontalAdvance(QLatin1Char('0'));
    charWidth_ = std::max(1, static_cast<int>(std::ceil(advance - 0.01)));
    cells.setLetterSpacing(QFont::AbsoluteSpacing, charWidth_ - advance);
    viewport()->setFont(cells);
    const QFontMetrics metrics(cells);
    lineHeight_ = std::max(1, metrics.height());
    ascent_ = metrics.ascent();
}

int LogBox::visibleLines() const
{
    return std::max(1, (viewport()->height() - kMargin) / lineHeight_);
}

void LogBox::updateScrollBars()
{
    const int lines = static_cast<int>(std::min<std::size_t>(buffer_.lineCount(), INT_MAX));
    QScrollBar *v = verticalScrollBar();
    v->setRange(0, std::max(0, lines - visibleLines()));
    v->setPageStep(visibleLines());
    v->setSingleStep(1);
    QScrollBar *h = horizontalScrollBar();
    const long long content = static_cast<long long>(widestColumns_ + 1) * charWidth_ + 2 * kMargin;
    h->setRange(0, static_cast<int>(std::clamp<long long>(content - viewport()->width(), 0, INT_MAX)));
    h->setPageStep(std::max(1, viewport()->width()));
    h->setSingleStep(charWidth_);
}

void LogBox::restartBlink()
{
    caretShown_ = true;
    const int period = QGuiApplication::styleHints()->cursorFlashTime();
    if (period > 0 && hasFocus())
        blink_.start(period / 2);
    else
        blink_.stop();
}

std::size_t LogBox::positionAt(QPoint point) const
{
    const long long row =
        verticalScrollBar()->value() + (point.y() - kMargin) / lineHeight_ - (point.y() < kMargin ? 1 : 0);
    const auto line =
        static_cast<std::size_t>(std::clamp<long long>(row, 0, static_cast<long long>(buffer_.lineCount()) - 1));
    const long long x = static_cast<long long>(point.x()) - kMargin + horizontalScrollBar()->value() + charWidth_ / 2;
    return logtext::positionAtColumn(buffer_, line, static_cast<std::size_t>(std::max(0LL, x / charWidth_)));
}

QRect LogBox::cursorRect() const
{
    const QRect r = positionRect(cursor_);
    return r.isNull() ? r : QRect(r.x() - 1, r.y(), 3, r.height());
}

QRect LogBox::positionRect(std::size_t position) const
{
    position = std::min(position, buffer_.size());
    const long long row = static_cast<long long>(buffer_.lineOf(position)) - verticalScrollBar()->value();
    const long long x =
        static_cast<long long>(logtext::columnOf(buffer_, position)) * charWidth_ - horizontalScrollBar()->value();
    if (row < 0 || row > visibleLines() + 1 || x < -charWidth_ || x > viewport()->width())
        return {};
    return {kMargin + static_cast<int>(x), kMargin + static_cast<int>(row) * lineHeight_, charWidth_, lineHeight_};
}

void LogBox::announceCursor()
{
    if (hasFocus())
        QGuiApplication::inputMethod()->update(Qt::ImCursorRectangle);
    if (QAccessible::isActive()) {
        QAccessibleTextCursorEvent event(this, static_cast<int>(cursor_));
        QAccessible::updateAccessibility(&event);
    }
}

bool LogBox::handleStandardKey(QKeyEvent *event)
{
    return commandKey(event) || moveKey(event) || deleteKey(event);
}

bool LogBox::commandKey(QKeyEvent *event)
{
    using K = QKeySequence;
    if (event->matches(K::Undo))
        undo();
    else if (event->matches(K::Redo))
        redo();
    else if (event->matches(K::Copy))
        copy();
    else if (event->matches(K::Cut))
        cut();
    else if (event->matches(K::Paste))
        paste();
    else if (event->matches(K::SelectAll))
        selectAll();
    else
        return false;
    return true;
}

bool LogBox::moveKey(QKeyEvent *event)
{
    using K = QKeySequence;
    using namespace logtext;
    const auto is = [event](K::StandardKey key) { return event->matches(key); };
    const std::size_t line = buffer_.lineOf(cursor_);
    const auto [from, to] = std::minmax(cursor_, anchor_);
    const auto go = [this](std::size_t position, Move move) {
        moveCursor(position, move);
        ensureCursorVisible();
    };
    if (is(K::MoveToNextChar))
        go(hasSelection() ? to : stepForward(buffer_, cursor_), Move::Keep);
    else if (is(K::MoveToPreviousChar))
        go(hasSelection() ? from : stepBack(buffer_, cursor_), Move::Keep);
    else if (is(K::SelectNextChar))
        go(stepForward(buffer_, cursor_), Move::Select);
    else if (is(K::SelectPreviousChar))
        go(stepBack(buffer_, cursor_), Move::Select);
    else if (is(K::MoveToNextWord))
        go(wordEnd(buffer_, cursor_), Move::Keep);
    else if (is(K::MoveToPreviousWord))
        go(wordStart(buffer_, cursor_), Move::Keep);
    else if (is(K::SelectNextWord))
        go(wordEnd(buffer_, cursor_), Move::Select);
    else if (is(K::SelectPreviousWord))
        go(wordStart(buffer_, cursor_), Move::Select);
    else if (lineKey(event))
        return true;
    else if (is(K::MoveToStartOfLine) || is(K::MoveToStartOfBlock))
        go(buffer_.lineStart(line), Move::Keep);
    else if (is(K::MoveToEndOfLine) || is(K::MoveToEndOfBlock))
        go(buffer_.lineEnd(line), Move::Keep);
    else if (is(K::SelectStartOfLine) || is(K::SelectStartOfBlock))
        go(buffer_.lineStart(line), Move::Select);
    else if (is(K::SelectEndOfLine) || is(K::SelectEndOfBlock))
        go(buffer_.lineEnd(line), Move::Select);
    else if (is(K::MoveToStartOfDocument))
        go(0, Move::Keep);
    else if (is(K::MoveToEndOfDocument))
        go(buffer_.size(), Move::Keep);
    else if (is(K::SelectStartOfDocument))
        go(0, Move::Select);
    else if (is(K::SelectEndOfDocument))
        go(buffer_.size(), Move::Select);
    else
        return false;
    return true;
}

bool LogBox::lineKey(QKeyEvent *event)
{
    using K = QKeySequence;
    const auto is = [event](K::StandardKey key) { return event->matches(key); };
    const auto vertical = [this](long long lines, Move move) {
        const long long target = std::clamp<long long>(static_cast<long long>(buffer_.lineOf(cursor_)) + lines, 0,
                                                       static_cast<long long>(buffer_.lineCount()) - 1);
        // Up and down keep the column over shorter lines.
        const std::size_t column = wantedColumn_;
        moveCursor(logtext::positionAtColumn(buffer_, static_cast<std::size_t>(target), column), move);
        ensureCursorVisible();
        wantedColumn_ = column;
    };
    const int page = visibleLines();
    if (is(K::MoveToNextLine))
        vertical(1, Move::Keep);
    else if (is(K::MoveToPreviousLine))
        vertical(-1, Move::Keep);
    else if (is(K::SelectNextLine))
        vertical(1, Move::Select);
    else if (is(K::SelectPreviousLine))
        vertical(-1, Move::Select);
    else if (is(K::MoveToNextPage) || is(K::SelectNextPage)) {
        verticalScrollBar()->setValue(verticalScrollBar()->value() + page);
        vertical(page, is(K::SelectNextPage) ? Move::Select : Move::Keep);
    } else if (is(K::MoveToPreviousPage) || is(K::SelectPreviousPage)) {
        verticalScrollBar()->setValue(verticalScrollBar()->value() - page);
        vertical(-page, is(K::SelectPreviousPage) ? Move::Select : Move::Keep);
    } else
        return false;
    return true;
}

bool LogBox::deleteKey(QKeyEvent *event)
{
    using K = QKeySequence;
    using namespace logtext;
    const auto is = [event](K::StandardKey key) { return event->matches(key); };
    if (is(K::DeleteEndOfWord) || is(K::DeleteStartOfWord)) {
        if (!hasSelection())
            anchor_ = is(K::DeleteEndOfWord) ? wordEnd(buffer_, cursor_) : wordStart(buffer_, cursor_);
        replaceSelection({}, LogBuffer::Kind::Edit);
    } else if (is(K::Delete) || is(K::Backspace) || event->key() == Qt::Key_Backspace) {
        if (!hasSelection())
            anchor_ = is(K::Delete) ? stepForward(buffer_, cursor_) : stepBack(buffer_, cursor_);
        replaceSelection({}, LogBuffer::Kind::Edit);
    } else if (is(K::InsertParagraphSeparator) || is(K::InsertLineSeparator))
        replaceSelection("\r\n", LogBuffer::Kind::Edit);
    else
        return false;
    return true;
}

void LogBox::keyPressEvent(QKeyEvent *event)
{
    if (handleStandardKey(event)) {
        event->accept();
        return;
    }
    const QString text = event->text();
    const bool printable = !text.isEmpty() && std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.isPrint() || c == QLatin1Char('\t');
    });
    if (printable && !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
        replaceSelection(latin1Bytes(text), LogBuffer::Kind::Typing);
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

bool LogBox::event(QEvent *event)
{
    if (event->type() == QEvent::KeyPress) {
        // Tab types a tab, as in Qt's text boxes; Ctrl+Tab leaves the box.
        auto *key = static_cast<QKeyEvent *>(event);
        if (key->key() == Qt::Key_Tab && !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
            replaceSelection("\t", LogBuffer::Kind::Typing);
            event->accept();
            return true;
        }
    }
    if (event->type() == QEvent::ShortcutOverride) {
        // The editing keys belong to the box, not to a menu shortcut that
        // happens to share them.
        auto *key = static_cast<QKeyEvent *>(event);
        using K = QKeySequence;
        const bool mine = key->matches(K::Copy) || key->matches(K::Cut) || key->matches(K::Paste) ||
                          key->matches(K::Undo) || key->matches(K::Redo) || key->matches(K::SelectAll) ||
                          key->matches(K::Delete) || key->matches(K::MoveToStartOfDocument) ||
                          key->matches(K::MoveToEndOfDocument) || key->matches(K::MoveToStartOfLine) ||
                          key->matches(K::MoveToEndOfLine) || key->matches(K::MoveToNextPage) ||
                          key->matches(K::MoveToPreviousPage) ||
                          (!key->text().isEmpty() && key->text().front().isPrint() &&
                           !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)));
        if (mine) {
            event->accept();
            return true;
        }
    }
    return QAbstractScrollArea::event(event);
}

void LogBox::mousePressEvent(QMouseEvent *event)
{
    // A composition in progress is dropped, not committed where the cursor goes.
    QGuiApplication::inputMethod()->reset();
    const std::size_t at = positionAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton) {
        moveCursor(at, event->modifiers() & Qt::ShiftModifier ? Move::Select : Move::Keep);
        selecting_ = true;
        lastMouse_ = event->position().toPoint();
        event->accept();
        return;
    }
    if (event->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
        const QString text = QGuiApplication::clipboard()->text(QClipboard::Selection);
        if (!text.isEmpty()) {
            moveCursor(at, Move::Keep);
            insertText(text);
        }
        event->accept();
        return;
    }
    QAbstractScrollArea::mousePressEvent(event);
}

void LogBox::mouseMoveEvent(QMouseEvent *event)
{
    if (!selecting_) {
        QAbstractScrollArea::mouseMoveEvent(event);
        return;
    }
    lastMouse_ = event->position().toPoint();
    moveCursor(positionAt(lastMouse_), Move::Select);
    if (viewport()->rect().contains(lastMouse_))
        autoScroll_.stop();
    else if (!autoScroll_.isActive())
        autoScroll_.start();
}

void LogBox::autoScroll()
{
    const QRect area = viewport()->rect();
    QScrollBar *v = verticalScrollBar();
    QScrollBar *h = horizontalScrollBar();
    if (lastMouse_.y() < area.top())
        v->setValue(v->value() - 1);
    else if (lastMouse_.y() > area.bottom())
        v->setValue(v->value() + 1);
    if (lastMouse_.x() < area.left())
        h->setValue(h->value() - charWidth_);
    else if (lastMouse_.x() > area.right())
        h->setValue(h->value() + charWidth_);
    moveCursor(positionAt(lastMouse_), Move::Select);
}

void LogBox::mouseReleaseEvent(QMouseEvent *event)
{
    if (event->button() == Qt::LeftButton && selecting_) {
        selecting_ = false;
        autoScroll_.stop();
        QClipboard *clipboard = QGuiApplication::clipboard();
        if (hasSelection() && clipboard->supportsSelection())
            clipboard->setText(selectedText(), QClipboard::Selection);
        event->accept();
        return;
    }
    QAbstractScrollArea::mouseReleaseEvent(event);
}

void LogBox::mouseDoubleClickEvent(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton) {
        QAbstractScrollArea::mouseDoubleClickEvent(event);
        return;
    }
    // The word (a hex pair, a time) or the run of blanks under the mouse.
    const logtext::Span word = logtext::wordAt(buffer_, positionAt(event->position().toPoint()));
    if (word.from == word.to)
        return;
    anchor_ = word.from;
    moveCursor(word.to, Move::Select);
    selecting_ = false;
    event->accept();
}

void LogBox::contextMenuEvent(QContextMenuEvent *event)
{
    QMenu menu(this);
    const auto add = [&](const QString &text, QKeySequence::StandardKey key, bool enabled, auto slot) {
        QAction *action = menu.addAction(withShortcut(text, key), this, slot);
        action->setEnabled(enabled);
    };
    const bool empty = buffer_.size() == 0;
    add(QStringLiteral("&Undo"), QKeySequence::Undo, buffer_.canUndo(), &LogBox::undo);
    add(QStringLiteral("&Redo"), QKeySequence::Redo, buffer_.canRedo(), &LogBox::redo);
    menu.addSeparator();
    add(QStringLiteral("Cu&t"), QKeySequence::Cut, hasSelection(), &LogBox::cut);
    add(QStringLiteral("&Copy"), QKeySequence::Copy, hasSelection(), &LogBox::copy);
    add(QStringLiteral("&Paste"), QKeySequence::Paste, QGuiApplication::clipboard()->mimeData()->hasText(),
        &LogBox::paste);
    QAction *remove =
        menu.addAction(QStringLiteral("Delete"), this, [this] { replaceSelection({}, LogBuffer::Kind::Edit); });
    remove->setEnabled(hasSelection());
    menu.addSeparator();
    add(QStringLiteral("Select All"), QKeySequence::SelectAll, !empty, &LogBox::selectAll);
    menu.exec(event->globalPos());
}

void LogBox::focusInEvent(QFocusEvent *event)
{
    restartBlink();
    viewport()->update();
    QAbstractScrollArea::focusInEvent(event);
}

void LogBox::focusOutEvent(QFocusEvent *event)
{
    blink_.stop();
    caretShown_ = false;
    viewport()->update();
    QAbstractScrollArea::focusOutEvent(event);
}

void LogBox::changeEvent(QEvent *event)
{
    if (event->type() == QEvent::FontChange) {
        updateMetrics();
        updateScrollBars();
        viewport()->update();
    }
    QAbstractScrollArea::changeEvent(event);
}

void LogBox::inputMethodEvent(QInputMethodEvent *event)
{
    // Only what the input method commits is typed; a composition in progress
    // is not shown.
    if (!event->commitString().isEmpty())
        replaceSelection(latin1Bytes(event->commitString()), LogBuffer::Kind::Typing);
    event->accept();
}

QVariant LogBox::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return true;
    case Qt::ImCursorRectangle:
        return cursorRect().translated(viewport()->pos());
    case Qt::ImFont:
        return font();
    case Qt::ImCursorPosition:
        return static_cast<int>(cursor_ - buffer_.lineStart(buffer_.lineOf(cursor_)));
    case Qt::ImSurroundingText: {
        const std::size_t line = buffer_.lineOf(cursor_);
        const std::size_t start = buffer_.lineStart(line);
        return fromBytes(buffer_.text().substr(start, buffer_.lineEnd(line) - start));
    }
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void LogBox::dragEnterEvent(QDragEnterEvent *event)
{
    if (event->mimeData()->hasText())
        event->acceptProposedAction();
    else
        QAbstractScrollArea::dragEnterEvent(event);
}

void LogBox::dragMoveEvent(QDragMoveEvent *event)
{
    if (event->mimeData()->hasText())
        event->acceptProposedAction();
    else
        QAbstractScrollArea::dragMoveEvent(event);
}

void LogBox::dropEvent(QDropEvent *event)
{
    if (!event->mimeData()->hasText()) {
        QAbstractScrollArea::dropEvent(event);
        return;
    }
    moveCursor(positionAt(event->position().toPoint()), Move::Keep);
    insertText(event->mimeData()->text());
    event->acceptProposedAction();
}

void LogBox::resizeEvent(QResizeEvent *event)
{
    QAbstractScrollArea::resizeEvent(event);
    updateScrollBars();
}

void LogBox::scrollContentsBy(int, int)
{
    // The vertical bar counts lines, not pixels: everything is drawn again.
    viewport()->update();
}

void LogBox::paintEvent(QPaintEvent *event)
{
    QPainter painter(viewport());
    const QPalette &pal = palette();
    if (buffer_.size() == 0 && !placeholder_.isEmpty()) {
        painter.setPen(pal.color(QPalette::PlaceholderText));
        painter.drawText(kMargin, kMargin + ascent_, placeholder_);
    }
    // Only the rows asked for: a blink of the caret draws one line.
    const QRect area = event->rect();
    const auto top = static_cast<std::size_t>(verticalScrollBar()->value());
    const auto rowOf = [this](int y) { return static_cast<std::size_t>(std::max(0, (y - kMargin) / lineHeight_)); };
    const std::size_t first = top + rowOf(area.top());
    const std::size_t last = std::min(buffer_.lineCount(), top + rowOf(area.bottom()) + 1);
    std::size_t widest = widestColumns_;
    for (std::size_t line = first; line < last; ++line)
        widest = std::max(widest, paintLine(painter, line, kMargin + static_cast<int>(line - top) * lineHeight_));
    if (hasFocus() && caretShown_) {
        const QRect caret = cursorRect();
        if (!caret.isNull())
            painter.fillRect(caret.x() + 1, caret.y(), 1, caret.height(), pal.color(QPalette::Text));
    }
    if (widest > widestColumns_) {
        // Tabs made a line wider than its bytes: the bar grows once drawn.
        tabColumns_ = widestColumns_ = widest;
        QTimer::singleShot(0, this, &LogBox::updateScrollBars);
    }
}

std::size_t LogBox::paintLine(QPainter &painter, std::size_t line, int y) const
{
    const QPalette &pal = palette();
    const int scrollX = horizontalScrollBar()->value();
    // The visible columns only: a line may be a megabyte long.
    const logtext::ShownColumns shown =
        logtext::shownColumns(buffer_, line, static_cast<std::size_t>(scrollX / charWidth_),
                              static_cast<std::size_t>(viewport()->width() / charWidth_ + 2));
    const QString text = fromBytes(shown.text);
    const int x = pixels(kMargin + static_cast<long long>(shown.firstColumn) * charWidth_ - scrollX);
    painter.setPen(pal.color(QPalette::Text));
    painter.drawText(x, y + ascent_, text);
    // The selection, with the line end it takes in as one column more.
    const auto [selFrom, selTo] = std::minmax(cursor_, anchor_);
    const std::size_t start = buffer_.lineStart(line);
    const std::size_t end = buffer_.lineEnd(line);
    if (selFrom < selTo && selFrom <= end && selTo >= start) {
        const std::size_t from = selFrom < start ? 0 : logtext::columnOf(buffer_, selFrom);
        const std::size_t to = selTo > end ? shown.lineColumns + 1 : logtext::columnOf(buffer_, selTo);
        const long long left = kMargin + static_cast<long long>(from) * charWidth_ - scrollX;
        const long long right = kMargin + static_cast<long long>(to) * charWidth_ - scrollX;
        const QRect band(QPoint(pixels(left), y), QPoint(pixels(right) - 1, y + lineHeight_ - 1));
        painter.save();
        painter.setClipRect(band);
        painter.fillRect(band, pal.color(QPalette::Highlight));
        painter.setPen(pal.color(QPalette::HighlightedText));
        painter.drawText(x, y + ascent_, text);
        painter.restore();
    }
    return shown.lineColumns;
}

} // namespace halcyra
