// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "logbuffer.h"

#include <QAbstractScrollArea>
#include <QString>
#include <QTimer>

#include <string>
#include <string_view>

class QMenu;
class QPainter;

namespace halcyra {

// The packet log box: a plain text box over the log's own bytes. Qt's text
// document holds two bytes per character and a block per line, three to four
// times a week-long log; this box holds the bytes once, and the parse cycle
// reads them where they are. It shows a fixed-pitch font without wrapping,
// the only way the log is shown.
//
// A character is a byte, read and shown as Latin-1; a character beyond
// Latin-1 that is pasted or typed becomes '?'. Line ends stay as they came
// (CR LF, LF or CR); Enter types CR LF.
class LogBox : public QAbstractScrollArea {
    Q_OBJECT
public:
    explicit LogBox(QWidget *parent = nullptr);

    // The text the parse cycle reads; valid until the next change.
    std::string_view parserText() const { return buffer_.text(); }
    const LogBuffer &buffer() const { return buffer_; }
    // Where the last change began: the text before it is as it was, so a
    // reader of the text may go on from there.
    std::size_t changedFrom() const { return changedFrom_; }

    QString toPlainText() const;
    void setPlainText(const QString &text);
    // A new text (a log opened or read again): the cursor goes to its start
    // and undo starts over.
    void setText(std::string_view text);
    void setText(LogBytes text);
    // The followed file's new bytes, at the end; the user's cursor and
    // selection stay where they are.
    void appendText(std::string_view text);
    // Typed or pasted at the cursor, over the selection.
    void insertText(const QString &text);
    // Replaces the characters from `from` to `to` with `text` as an edit the
    // user can undo, as if they had been selected and typed over; the cursor
    // goes after the new text. Assistive tools edit this way.
    void replaceText(int from, int to, const QString &text);

    int cursorPosition() const { return static_cast<int>(cursor_); }
    void setCursorPosition(int position);
    bool hasSelection() const { return cursor_ != anchor_; }
    QString selectedText() const;
    // Selects from `anchor` to `position`, where the cursor goes.
    void setSelection(int anchor, int position);

    void setPlaceholderText(const QString &text);
    QString placeholderText() const { return placeholder_; }

public slots:
    void clear();
    void copy() const;
    void cut();
    void paste();
    void selectAll();
    void undo();
    void redo();

signals:
    // After every change of the text, whoever made it.
    void textChanged();

protected:
    void paintEvent(QPaintEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void mousePressEvent(QMouseEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void mouseReleaseEvent(QMouseEvent *event) override;
    void mouseDoubleClickEvent(QMouseEvent *event) override;
    void contextMenuEvent(QContextMenuEvent *event) override;
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
    void changeEvent(QEvent *event) override;
    void inputMethodEvent(QInputMethodEvent *event) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dragMoveEvent(QDragMoveEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool event(QEvent *event) override;
    void scrollContentsBy(int dx, int dy) override;

private:
    friend class LogBoxAccessible;
    enum class Move { Keep, Select };

    void replaceSelection(std::string_view bytes, LogBuffer::Kind kind);
    void selectChange(LogBuffer::Change change);
    enum class Rows { One, FromThere };
    // After every change of the text: `from` is where it starts.
    void changed(std::size_t from = 0, Rows rows = Rows::FromThere);
    void moveCursor(std::size_t position, Move move);
    void ensureCursorVisible();
    void updateScrollBars();
    void updateMetrics();
    void restartBlink();
    bool handleStandardKey(QKeyEvent *event);
    bool commandKey(QKeyEvent *event);
    bool moveKey(QKeyEvent *event);
    bool lineKey(QKeyEvent *event);
    bool deleteKey(QKeyEvent *event);
    // Draws one row; returns how many columns the whole line takes.
    std::size_t paintLine(QPainter &painter, std::size_t line, int y) const;
    std::size_t positionAt(QPoint point) const;
    QRect cursorRect() const;
    QRect positionRect(std::size_t position) const;
    void announceCursor();
    int visibleLines() const;
    void autoScroll();

    LogBuffer buffer_;
    std::size_t cursor_ = 0;
    std::size_t anchor_ = 0;
    std::size_t changedFrom_ = 0;
    std::size_t wantedColumn_ = 0; // kept by up and down over shorter lines
    std::size_t widestColumns_ = 0;
    std::size_t tabColumns_ = 0; // the widest line with tabs seen, in columns
    QString placeholder_;
    int charWidth_ = 1;
    int lineHeight_ = 1;
    int ascent_ = 0;
    bool caretShown_ = false;
    bool selecting_ = false;
    QPoint lastMouse_;
    QTimer blink_;
    QTimer autoScroll_;
};

} // namespace halcyra
