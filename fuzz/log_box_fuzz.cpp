// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The real log box, offscreen, through a list of edits: typing, Enter,
// Backspace and Delete, moves with and without Shift, pastes at a position,
// the followed file's appends, the clear button, undo and redo, with line
// ends of all kinds and characters beyond Latin-1. After every edit:
// - the start of every line is where the line-end rule puts it, and the
//   longest line is known;
// - the cursor is in the text and never between the CR and LF of a line end;
// - undo then redo gives the text back;
// and undoing everything since the last new text (with no appends since)
// gives that text back.
//
// The input is a list of edits, each an operation byte followed by what the
// edit needs: a position byte (a fraction of the text) or a text (a length
// byte, then one byte per character; see character()).

#include "check.h"
#include "logbox.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace {

using halcyra::LogBox;

// Bytes 0x80 to 0x83 stand for characters beyond Latin-1 (one, and the
// halves of a surrogate pair, and a line separator); every other byte is its
// Latin-1 character.
QChar character(std::uint8_t b)
{
    static constexpr char16_t kApart[] = {0x4E00, 0xD83D, 0xDEF0, 0x2028};
    return b >= 0x80 && b < 0x84 ? QChar(kApart[b - 0x80]) : QChar(b);
}

class Edits {
public:
    Edits(const std::uint8_t *data, std::size_t size) : at_(data), end_(data + size) {}

    bool done() const { return at_ == end_; }
    std::uint8_t byte() { return at_ == end_ ? 0 : *at_++; }
    int position(std::size_t length) { return static_cast<int>(byte() * (length + 1) / 256); }
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

void key(LogBox &box, int code, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString &text = QString())
{
    QKeyEvent press(QEvent::KeyPress, code, modifiers, text);
    QApplication::sendEvent(&box, &press);
}

std::vector<std::size_t> lineStarts(const std::string &text)
{
    std::vector<std::size_t> starts{0};
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        if (text[i] == '\r' || text[i] == '\n')
            starts.push_back(i + 1);
    }
    return starts;
}

void checkLines(const LogBox &box)
{
    const std::string text(box.parserText());
    const std::vector<std::size_t> starts = lineStarts(text);
    FUZZ_CHECK(box.buffer().lineCount() == starts.size());
    std::size_t longest = 0;
    for (std::size_t line = 0; line < starts.size(); ++line) {
        FUZZ_CHECK(box.buffer().lineStart(line) == starts[line]);
        longest = std::max(longest, (line + 1 < starts.size() ? starts[line + 1] : text.size()) - starts[line]);
    }
    FUZZ_CHECK(box.buffer().longestLine() == longest);
    const auto cursor = static_cast<std::size_t>(box.cursorPosition());
    FUZZ_CHECK(cursor <= text.size() && !box.buffer().insideLineEnd(cursor));
}

struct State {
    std::string base; // the text of the last new text
    bool appended = false;
};

void edit(LogBox &box, Edits &in, State &state)
{
    static constexpr int kMoves[] = {Qt::Key_Left, Qt::Key_Right, Qt::Key_Up,     Qt::Key_Down,
                                     Qt::Key_Home, Qt::Key_End,   Qt::Key_PageUp, Qt::Key_PageDown};
    const std::size_t size = box.buffer().size();
    switch (in.byte() % 12) {
    case 0: {
        const QString text = in.text();
        box.setPlainText(text);
        state = {std::string(box.parserText()), false};
        break;
    }
    case 1:
        box.setCursorPosition(in.position(size));
        box.insertText(in.text());
        break;
    case 2: {
        const QString text = in.text();
        for (const QChar c : text)
            key(box, Qt::Key_A, Qt::NoModifier, QString(c));
        break;
    }
    case 3:
        key(box, Qt::Key_Return);
        break;
    case 4:
        key(box, in.byte() % 2 ? Qt::Key_Backspace : Qt::Key_Delete);
        break;
    case 5: {
        const std::uint8_t b = in.byte();
        key(box, kMoves[b % 8], b & 0x80 ? Qt::ShiftModifier : Qt::NoModifier);
        break;
    }
    case 6:
        box.setCursorPosition(in.position(size));
        QGuiApplication::clipboard()->setText(in.text());
        box.paste();
        break;
    case 7:
        box.appendText(in.text().toLatin1().toStdString());
        state.appended = true;
        break;
    case 8:
        box.clear();
        break;
    case 9: {
        const std::string before(box.parserText());
        if (box.buffer().canUndo()) {
            box.undo();
            box.redo();
            FUZZ_CHECK(box.parserText() == before);
        }
        break;
    }
    case 10: {
        const std::string before(box.parserText());
        while (box.buffer().canUndo())
            box.undo();
        FUZZ_CHECK(state.appended || box.parserText() == state.base);
        while (box.buffer().canRedo())
            box.redo();
        FUZZ_CHECK(state.appended || box.parserText() == before);
        break;
    }
    default:
        box.cut();
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
    static char name[] = "fuzz_log_box";
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
    State state;
    Edits in(data, size);
    while (!in.done()) {
        edit(box, in, state);
        checkLines(box);
    }
    return 0;
}
