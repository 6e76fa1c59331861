// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <QMetaObject>
#include <QPlainTextEdit>

#include <string>
#include <string_view>

class QMimeData;
class QTextDocument;

namespace halcyra {

// The log box's text as the parser reads it, kept beside the document and
// brought up to date from each of its change notices: a re-parse of a log of
// many megabytes then needs no copy of it.
//
// One byte per document character, as the batch decoder reads a file:
// - a line end (block separator) is "\n", whether CR, LF or CR LF was typed,
//   pasted or read; so are the other characters QTextDocument::toPlainText()
//   turns into line ends (U+2028 and the frame marks);
// - a character beyond Latin-1 is '?', one for each UTF-16 unit;
// - every other character is its Latin-1 byte, a no-break space (0xA0)
//   included: only the blank separates the hex pairs of a frame.
// That is toPlainText().toLatin1(), except that toPlainText() turns a
// no-break space into a blank.
class LogText {
public:
    explicit LogText(QTextDocument *document);
    ~LogText();
    LogText(const LogText &) = delete;
    LogText &operator=(const LogText &) = delete;

    std::string_view text() const { return text_; }

    // The same reading of the whole document, the slow way: for checks.
    static std::string readWhole(const QTextDocument &document);

private:
    void change(int position, int removed, int added);
    void readRange(int from, int to, char *out) const;

    QTextDocument *document_;
    std::string text_;
    QMetaObject::Connection changes_;
};

// The packet log box: a plain text box that keeps the parser's reading of
// its document (which it keeps for life: no setDocument()).
class LogBox : public QPlainTextEdit {
public:
    explicit LogBox(QWidget *parent = nullptr);

    std::string_view parserText() const { return text_.text(); }

protected:
    void insertFromMimeData(const QMimeData *source) override;

private:
    LogText text_;
};

} // namespace halcyra
