// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The parser's reading of the log box, kept beside its document from the
// change notices, against the document read whole after every edit: setting
// and clearing the text, typing, deleting, pasting, undo and redo, an edit of
// two places at once and a change of format only, with line ends of all
// kinds, no-break spaces and characters beyond Latin-1.
//
// The input is a list of edits, each an operation byte followed by what the
// edit needs: a position byte (a fraction of the document) or a text (a
// length byte, then one byte per character; see character()).

#include "check.h"
#include "logtext.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QTextCursor>
#include <QTextDocument>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace {

using halcyra::LogBox;
using halcyra::LogText;

// Bytes 0x80 to 0x85 stand for the characters Qt or the reading treat apart:
// the line and paragraph separators, one beyond Latin-1, the halves of a
// surrogate pair and a frame mark. Every other byte is its Latin-1 character.
QChar character(std::uint8_t b)
{
    static constexpr char16_t kApart[] = {0x2028, 0x2029, 0x4E00, 0xD83D, 0xDEF0, 0xFDD0};
    return b >= 0x80 && b < 0x86 ? QChar(kApart[b - 0x80]) : QChar(b);
}

class Edits {
public:
    Edits(const std::uint8_t *data, std::size_t size) : at_(data), end_(data + size) {}

    bool done() const { return at_ == end_; }
    std::uint8_t byte() { return at_ == end_ ? 0 : *at_++; }
    // A cursor position in a document of `length` characters.
    int position(int length) { return byte() * (length + 1) / 256; }
    QString text()
    {
        QString t;
        for (int n = byte(); n > 0 && !done(); --n)
            t += character(byte());
        return t;
    }

private:
    const std::uint8_t *at_;
    const std::uint8_t *end_;
};

void key(LogBox &box, int code, const QString &text = QString())
{
    QKeyEvent press(QEvent::KeyPress, code, Qt::NoModifier, text);
    QApplication::sendEvent(&box, &press);
}

void edit(LogBox &box, Edits &in)
{
    QTextDocument &document = *box.document();
    const int length = document.characterCount() - 1;
    QTextCursor cursor(&document);
    const auto select = [&] {
        const int from = in.position(length);
        cursor.setPosition(from);
        cursor.setPosition(std::min(length, from + in.byte() % 16), QTextCursor::KeepAnchor);
    };
    switch (in.byte() % 12) {
    case 0:
        box.setPlainText(in.text());
        break;
    case 1:
        cursor.setPosition(in.position(length));
        cursor.insertText(in.text());
        break;
    case 2:
        select();
        cursor.removeSelectedText();
        break;
    case 3:
        box.undo();
        break;
    case 4:
        box.redo();
        break;
    case 5: // a paste over a selection
        select();
        box.setTextCursor(cursor);
        QGuiApplication::clipboard()->setText(in.text());
        box.paste();
        break;
    case 6:
        box.appendPlainText(in.text());
        break;
    case 7: // two places in one edit, announced as one change
        cursor.beginEditBlock();
        cursor.setPosition(in.position(length));
        cursor.insertText(in.text());
        cursor.setPosition(in.position(document.characterCount() - 1));
        cursor.deletePreviousChar();
        cursor.endEditBlock();
        break;
    case 8: { // a change of format only: the notice covers text that stayed
        select();
        QTextCharFormat bold;
        bold.setFontWeight(QFont::Bold);
        cursor.mergeCharFormat(bold);
        break;
    }
    case 9:
        box.clear();
        break;
    case 10: { // keys at the box's cursor
        cursor.setPosition(in.position(length));
        box.setTextCursor(cursor);
        static constexpr int kKeys[] = {Qt::Key_Backspace, Qt::Key_Delete, Qt::Key_Return};
        const std::uint8_t k = in.byte();
        if (k % 4 < 3)
            key(box, kKeys[k % 4]);
        else
            key(box, Qt::Key_unknown, QString(character(in.byte())));
        break;
    }
    case 11:
        box.insertPlainText(in.text());
        break;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // Qt takes its own options out of the arguments; libFuzzer's stay untouched.
    static int argc = 1;
    static char name[] = "fuzz_log_text";
    static char *argv[] = {name, nullptr};
    static const auto *app = new QApplication(argc, argv); // lives until the process ends
    (void)app;
    // Fonts and the clipboard are set up once, not in the first input.
    LogBox box;
    box.setPlainText(QStringLiteral("T1 00\r\n\u00a0"));
    QGuiApplication::clipboard()->setText(QStringLiteral("x"));
    box.paste();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    LogBox box;
    Edits in(data, size);
    while (!in.done()) {
        edit(box, in);
        FUZZ_CHECK(box.parserText() == LogText::readWhole(*box.document()));
    }
    return 0;
}
