// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "logtext.h"

#include <QMimeData>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cassert>

namespace halcyra {

namespace {

// A change is read by selection in pieces of this many characters, so that
// no second copy of a text of many megabytes is made at once.
constexpr int kPieceLength = 1 << 20;
// A selection looks up each run of text on its own, two to three times slower
// than Qt's copy of the whole document, which reads the runs in order but
// holds two bytes per character at once. A change of most of a document up to
// this size (a paste into an empty box) takes the copy; a larger document
// (a week of a followed log, opened) saves the memory.
constexpr int kWholeCopyLimit = 16 << 20;

inline char latin1(char16_t c)
{
    if (c < 0x100)
        return static_cast<char>(c);
    switch (c) {
    case 0x2029: // the block separator
    case 0x2028: // the line separator
    case 0xFDD0: // the frame marks
    case 0xFDD1:
        return '\n';
    default:
        return '?';
    }
}

// The document's last block separator ends the document, not a line of it:
// the text has one character less.
std::size_t textLength(const QTextDocument &document)
{
    return static_cast<std::size_t>(document.characterCount() - 1);
}

} // namespace

LogText::LogText(QTextDocument *document) : document_(document), text_(textLength(*document), '\0')
{
    readRange(0, static_cast<int>(text_.size()), text_.data());
    changes_ = QObject::connect(document_, &QTextDocument::contentsChange,
                                [this](int position, int removed, int added) { change(position, removed, added); });
}

LogText::~LogText()
{
    QObject::disconnect(changes_);
}

void LogText::change(int position, int removed, int added)
{
    // A notice covers the characters that changed, and may cover more (one
    // edit of several places, a change of format): only the characters before
    // `position` and after the removed ones are as they were. It may also
    // count the last block separator, which the text does not hold.
    const std::size_t length = textLength(*document_);
    const auto from = static_cast<std::size_t>(position);
    const std::size_t gone = std::min(static_cast<std::size_t>(removed), text_.size() - std::min(from, text_.size()));
    const std::size_t to = std::min(from + static_cast<std::size_t>(added), length);
    if (position < 0 || removed < 0 || added < 0 || from > text_.size() || from > to ||
        text_.size() - gone + (to - from) != length) {
        // A notice that does not add up (a new layout announces the whole
        // document as added): read the whole text again.
        text_.assign(length, '\0');
        readRange(0, static_cast<int>(length), text_.data());
    } else {
        text_.replace(from, gone, to - from, '\0');
        readRange(static_cast<int>(from), static_cast<int>(to), text_.data() + from);
    }
    // A log cleared, or replaced by a much shorter one, gives its memory back.
    if (text_.capacity() > 2 * text_.size() + kPieceLength)
        text_.shrink_to_fit();
    assert(text_ == readWhole(*document_));
}

void LogText::readRange(int from, int to, char *out) const
{
    const auto copy = [&out](QStringView piece) {
        for (const QChar c : piece)
            *out++ = latin1(c.unicode());
    };
    const int length = static_cast<int>(textLength(*document_));
    if (length <= kWholeCopyLimit && to - from > length / 2) {
        const QString whole = document_->toRawText();
        copy(QStringView(whole).sliced(from, to - from));
        return;
    }
    // Called while the document announces a change, the cursor moves without
    // asking the layout for anything.
    QTextCursor cursor(document_);
    for (int at = from; at < to;) {
        const int end = at + std::min(kPieceLength, to - at);
        cursor.setPosition(at);
        cursor.setPosition(end, QTextCursor::KeepAnchor);
        const QString piece = cursor.selectedText();
        assert(piece.size() == end - at);
        copy(piece);
        at = end;
    }
}

std::string LogText::readWhole(const QTextDocument &document)
{
    // Qt's own reading, with the no-break spaces it turned into blanks put back.
    QString text = document.toPlainText();
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        const QString line = block.text();
        for (qsizetype i = line.indexOf(QChar::Nbsp); i >= 0; i = line.indexOf(QChar::Nbsp, i + 1))
            text[block.position() + i] = QChar::Nbsp;
    }
    const QByteArray bytes = text.toLatin1();
    return std::string(bytes.constData(), static_cast<std::size_t>(bytes.size()));
}

LogBox::LogBox(QWidget *parent) : QPlainTextEdit(parent), text_(document()) {}

void LogBox::insertFromMimeData(const QMimeData *source)
{
    // Qt's paste makes a document of its own of the text and then copies it
    // over, twice the time of inserting the text for a paste of megabytes.
    // The result is the same: plain text, its line ends turned into blocks.
    if (isReadOnly() || !source || !source->hasText()) {
        QPlainTextEdit::insertFromMimeData(source);
        return;
    }
    QTextCursor cursor = textCursor();
    cursor.insertText(source->text());
    setTextCursor(cursor);
    ensureCursorVisible();
}

} // namespace halcyra
