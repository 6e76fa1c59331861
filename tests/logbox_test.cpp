// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The log box: the parser reads the same bytes as the batch decoder reads in
// a file, the keys and assistive tools edit them as in any text box, and the
// columns and words beneath the view and the keys come out right.

#include "batch.h"
#include "logbox.h"
#include "logtext.h"
#include "windowfixture.h"

#include <QAccessible>
#include <QClipboard>
#include <QPushButton>
#include <QScrollBar>

#include <utility>
#include <vector>

using namespace halcyra;
using namespace halcyra::test;

class LogBoxTest : public QObject, WindowFixture {
    Q_OBJECT

private slots:
    void cleanup() { window.reset(); }

    void theWindowReadsALogFileAsTheBatchDecoderDoes()
    {
        const QByteArray pairs = QByteArray("00 ").repeated(64).chopped(1);
        const std::pair<QByteArray, int> cases[] = {
            {"T1 " + pairs, 1}, // blanks between the pairs
            // Only the blank separates pairs; a no-break space is any other character.
            {"T1 " + QByteArray(pairs).replace(' ', '\xa0'), 0},
            {kT1 + '\r' + kT2 + '\n' + kT1 + "\r\n" + kT2, 2}, // CR, LF and CR LF
        };
        for (const auto &[log, t1Frames] : cases) {
            open();
            QVERIFY(writeFile(file("pass.log"), log) && window->Open_Log(file("pass.log")));
            BatchDecoder batch(BatchSettings{}, nullptr, nullptr);
            batch.feed(std::string_view(log.constData(), static_cast<std::size_t>(log.size())));
            batch.finish();
            QCOMPARE(ui().t1Store().count, t1Frames);
            QCOMPARE(static_cast<std::uint64_t>(ui().t1Store().count), batch.counts().t1Frames);
            QCOMPARE(static_cast<std::uint64_t>(ui().t2Store().count), batch.counts().t2Frames);
        }
    }

    void textBeyondLatin1IsReadAsTheParserCountsIt()
    {
        open();
        ui().Text2()->setPlainText(QStringLiteral("a\r\nb\rc\n\u00a0\u4e00\U0001F6F0\u2028d"));
        QCOMPARE(ui().logText(), std::string_view("a\r\nb\rc\n\xa0????d"));
        QCOMPARE(ui().Text2()->buffer().lineCount(), std::size_t{4});
    }

    void aScreenReaderReadsTheTextAndTheSelection()
    {
        open();
        ui().Text2()->setPlainText(QStringLiteral("10:15 T1 00\r\nT2"));
        ui().Text2()->setSelection(6, 8);
        QAccessibleTextInterface *text = QAccessible::queryAccessibleInterface(ui().Text2())->textInterface();
        QVERIFY(text);
        QCOMPARE(text->characterCount(), 15);
        QCOMPARE(text->text(6, 8), QStringLiteral("T1"));
        int from = 0, to = 0;
        text->selection(0, &from, &to);
        QCOMPARE(std::make_pair(from, to), std::make_pair(6, 8));
        QCOMPARE(text->cursorPosition(), 8);
    }

    void keysEditALineEndAsOneCharacter_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("at");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<int>("cursor");
        using L = QList<int>;
        QTest::newRow("backspace after CR LF")
            << QByteArray("ab\r\ncd") << 4 << L{Qt::Key_Backspace} << QByteArray("abcd") << 2;
        QTest::newRow("delete before CR LF")
            << QByteArray("ab\r\ncd") << 2 << L{Qt::Key_Delete} << QByteArray("abcd") << 2;
        QTest::newRow("left over CR LF") << QByteArray("ab\r\ncd") << 4 << L{Qt::Key_Left, Qt::Key_Backspace}
                                         << QByteArray("a\r\ncd") << 1;
        QTest::newRow("cursor set inside CR LF")
            << QByteArray("ab\r\ncd") << 3 << L{Qt::Key_Backspace} << QByteArray("a\r\ncd") << 1;
        QTest::newRow("enter types CR LF")
            << QByteArray("abcd") << 2 << L{Qt::Key_Return} << QByteArray("ab\r\ncd") << 4;
        QTest::newRow("down keeps the column")
            << QByteArray("abcd\nx\nefgh") << 3 << L{Qt::Key_Down, Qt::Key_Down, Qt::Key_Delete}
            << QByteArray("abcd\nx\nefg") << 10;
        QTest::newRow("ctrl+backspace takes a word")
            << QByteArray("T1 AB CD") << 8 << L{int(Qt::ControlModifier) | Qt::Key_Backspace} << QByteArray("T1 AB ")
            << 6;
        QTest::newRow("tab types a tab") << QByteArray("ab") << 1 << L{Qt::Key_Tab} << QByteArray("a\tb") << 2;
        QTest::newRow("end of a CR line")
            << QByteArray("ab\rcd") << 0 << L{Qt::Key_End, Qt::Key_Delete} << QByteArray("abcd") << 2;
    }

    void keysEditALineEndAsOneCharacter()
    {
        QFETCH(QByteArray, before);
        QFETCH(int, at);
        QFETCH(QList<int>, keys);
        open();
        LogBox *box = ui().Text2();
        box->setPlainText(QString::fromLatin1(before));
        box->setCursorPosition(at);
        for (const int key : keys)
            QTest::keyClick(box, static_cast<Qt::Key>(key & ~Qt::KeyboardModifierMask),
                            Qt::KeyboardModifiers(key & Qt::KeyboardModifierMask));
        QTEST(box->toPlainText().toLatin1(), "after");
        QTEST(box->cursorPosition(), "cursor");
    }

    void undoTakesBackEditsButNotTheFollowedFile()
    {
        open();
        LogBox *box = ui().Text2();
        paste(kT1 + "\r\n");
        box->setCursorPosition(static_cast<int>(box->buffer().size()));
        QTest::keyClicks(box, QString::fromLatin1(kT1)); // typed: one undo step
        QCOMPARE(ui().t1Store().count, 2);
        box->appendText("\r\n" + kT2.toStdString());
        QCOMPARE(ui().t2Store().count, 1);
        QTest::keyClick(box, Qt::Key_Z, Qt::ControlModifier);
        QCOMPARE(box->toPlainText().toLatin1(), kT1 + "\r\n\r\n" + kT2);
        QCOMPARE(ui().t1Store().count, 1);
        // The clear button's work is undone as well: the log comes back.
        // Its lines come back with it: the view lays them out from their starts.
        const auto lines = [&] {
            const LogBuffer &b = box->buffer();
            std::vector<std::size_t> starts;
            for (std::size_t line = 0; line < b.lineCount(); ++line)
                starts.push_back(b.lineStart(line));
            return std::make_pair(starts, b.longestLine());
        };
        using Lines = std::pair<std::vector<std::size_t>, std::size_t>;
        const std::size_t t1 = static_cast<std::size_t>(kT1.size());
        const Lines logLines{{0, t1 + 2, t1 + 4}, t1 + 2};
        QCOMPARE(lines(), logLines);
        QTest::mouseClick(ui().Command2(), Qt::LeftButton);
        QCOMPARE(ui().t1Store().count, 0);
        QCOMPARE(lines(), Lines({0}, 0));
        box->undo();
        QCOMPARE(ui().t1Store().count, 1);
        QCOMPARE(ui().t2Store().count, 1);
        QCOMPARE(lines(), logLines);
        box->redo();
        QVERIFY(box->toPlainText().isEmpty());
        QCOMPARE(lines(), Lines({0}, 0));
    }

    // Columns, steps and words over the buffer; `a` and `b` are the call's
    // position, or line and column.
    void columnsAndWords_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("op");
        QTest::addColumn<int>("a");
        QTest::addColumn<int>("b");
        QTest::addColumn<QList<int>>("expected");
        using L = QList<int>;
        const auto row = [](const char *name, const QByteArray &text, const char *op, int a, int b, L expected) {
            QTest::newRow(name) << text << QString::fromLatin1(op) << a << b << expected;
        };
        row("column without tabs", "T1 AB", "columnOf", 3, 0, L{3});
        row("a tab reaches the next stop", "a\tb", "columnOf", 2, 0, L{8});
        row("tabs after text", "ab\tc\td", "columnOf", 5, 0, L{16});
        row("column counts from the line's start", "x\r\n\tb", "columnOf", 4, 0, L{8});
        row("column beyond a line is its end", "abc\ndef", "positionAtColumn", 0, 10, L{3});
        row("near the left of a tab", "a\tb", "positionAtColumn", 0, 3, L{1});
        row("near the right of a tab", "a\tb", "positionAtColumn", 0, 5, L{2});
        row("after a tab", "a\tb", "positionAtColumn", 0, 8, L{2});
        row("column in a later line", "a\tb\r\n\tx", "positionAtColumn", 1, 8, L{6});
        row("back over CR LF", "ab\r\ncd", "stepBack", 4, 0, L{2});
        row("on over CR LF", "ab\r\ncd", "stepForward", 2, 0, L{4});
        row("on over a lone CR", "ab\rcd", "stepForward", 2, 0, L{3});
        row("back from the start", "ab", "stepBack", 0, 0, L{0});
        row("on from the end", "ab", "stepForward", 2, 0, L{2});
        row("word end takes the blanks after", "T1 AB CD", "wordEnd", 0, 0, L{3});
        row("word end stops at a line end", "AB  \r\nCD", "wordEnd", 0, 0, L{4});
        row("word end over a line end", "AB\r\nCD", "wordEnd", 2, 0, L{4});
        row("word start over the blanks before", "T1 AB CD", "wordStart", 6, 0, L{3});
        row("word start back over a line end", "AB\r\nCD", "wordStart", 4, 0, L{2});
        row("word start stops after a line end", "AB\r\n  CD", "wordStart", 6, 0, L{4});
        row("the word under the mouse", "10:15 T1  00", "wordAt", 1, 0, L{0, 5});
        row("the blanks under the mouse", "10:15 T1  00", "wordAt", 9, 0, L{8, 10});
        row("a tab is a blank", "AB\t CD", "wordAt", 2, 0, L{2, 4});
        row("no word on a line end", "AB\r\nCD", "wordAt", 2, 0, L{2, 2});
        row("no word at the end", "AB", "wordAt", 2, 0, L{2, 2});
    }

    void columnsAndWords()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, op);
        QFETCH(int, a);
        QFETCH(int, b);
        LogBuffer buffer;
        buffer.setText(LogBytes(std::string_view(text.constData(), static_cast<std::size_t>(text.size()))));
        const auto p = static_cast<std::size_t>(a);
        const auto one = [](std::size_t n) { return QList<int>{static_cast<int>(n)}; };
        QList<int> got;
        if (op == QLatin1String("columnOf"))
            got = one(logtext::columnOf(buffer, p));
        else if (op == QLatin1String("positionAtColumn"))
            got = one(logtext::positionAtColumn(buffer, p, static_cast<std::size_t>(b)));
        else if (op == QLatin1String("stepBack"))
            got = one(logtext::stepBack(buffer, p));
        else if (op == QLatin1String("stepForward"))
            got = one(logtext::stepForward(buffer, p));
        else if (op == QLatin1String("wordEnd"))
            got = one(logtext::wordEnd(buffer, p));
        else if (op == QLatin1String("wordStart"))
            got = one(logtext::wordStart(buffer, p));
        else if (op == QLatin1String("wordAt"))
            got = {static_cast<int>(logtext::wordAt(buffer, p).from), static_cast<int>(logtext::wordAt(buffer, p).to)};
        QTEST(got, "expected");
    }

    // What a row of the view shows of a line scrolled to a column.
    void shownColumns_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("line");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("count");
        QTest::addColumn<QByteArray>("shown");
        QTest::addColumn<int>("shownFrom");
        QTest::addColumn<int>("lineColumns");
        QTest::newRow("scrolled") << QByteArray("0123456789") << 0 << 3 << 4 << QByteArray("3456") << 3 << 10;
        QTest::newRow("control characters as dots")
            << QByteArray("a\x01\x7f\xa0") << 0 << 0 << 9 << QByteArray("a\xb7\xb7\xa0") << 0 << 4;
        QTest::newRow("a tab as blanks") << QByteArray("a\tb") << 0 << 0 << 10 << QByteArray("a       b") << 0 << 9;
        QTest::newRow("a tab after the first column")
            << QByteArray("abcdef\tg") << 0 << 2 << 10 << QByteArray("cdef  g") << 2 << 9;
        QTest::newRow("a tab before the first column")
            << QByteArray("\tABCDEFGHIJKL") << 0 << 10 << 3 << QByteArray("CDE") << 10 << 20;
        QTest::newRow("a tab cut by the edge")
            << QByteArray("a\tbc") << 0 << 4 << 3 << QByteArray("       ") << 1 << 10;
        QTest::newRow("a later line") << QByteArray("ab\r\n\tcd") << 1 << 8 << 5 << QByteArray("cd") << 8 << 10;
        QTest::newRow("scrolled past the end") << QByteArray("ab") << 0 << 5 << 3 << QByteArray() << 2 << 2;
    }

    void shownColumns()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, line);
        QFETCH(int, first);
        QFETCH(int, count);
        LogBuffer buffer;
        buffer.setText(LogBytes(std::string_view(text.constData(), static_cast<std::size_t>(text.size()))));
        const logtext::ShownColumns shown = logtext::shownColumns(
            buffer, static_cast<std::size_t>(line), static_cast<std::size_t>(first), static_cast<std::size_t>(count));
        QTEST(QByteArray::fromStdString(shown.text), "shown");
        QTEST(static_cast<int>(shown.firstColumn), "shownFrom");
        QTEST(static_cast<int>(shown.lineColumns), "lineColumns");
    }

    // A line with a tab, scrolled to the right, looks like the same line
    // with the tab's blanks typed out.
    void aTabScrolledOutOfViewKeepsTheTextInItsColumns()
    {
        const QByteArray tail = QByteArray("0123456789ABCDEF").repeated(20);
        const auto view = [&](const QByteArray &line) {
            LogBox box;
            box.resize(300, 80);
            box.setPlainText(QString::fromLatin1(line + "\r\n" + tail + tail));
            box.horizontalScrollBar()->setValue(box.horizontalScrollBar()->maximum() / 2);
            return box.viewport()->grab().toImage();
        };
        QCOMPARE(view('\t' + tail), view(QByteArray(8, ' ') + tail));
    }

    // An assistive tool edits through the accessibility bus as the keys do:
    // the log is read again, and undo takes the edit back.
    void assistiveToolsEditAsTheKeysDo_data()
    {
        QTest::addColumn<QString>("op");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<int>("t1Frames");
        const QByteArray two = kT1 + "\r\n" + kT1;
        QTest::newRow("insert") << "insert" << 0 << 0 << QString::fromLatin1(kT1 + "\r\n") << kT1 + "\r\n" + two << 3;
        QTest::newRow("delete") << "delete" << 0 << int(kT1.size()) + 2 << QString() << kT1 << 1;
        QTest::newRow("replace") << "replace" << 0 << 2 << QStringLiteral("T2") << "T2" + two.mid(2) << 1;
        // Offsets are taken as they stand: a CR LF is two characters here.
        QTest::newRow("delete the LF of a CR LF")
            << "delete" << int(kT1.size()) + 1 << int(kT1.size()) + 2 << QString() << kT1 + "\r" + kT1 << 2;
        QTest::newRow("set the text") << "set" << 0 << 0 << QString::fromLatin1(kT2) << kT2 << 0;
        QTest::newRow("beyond Latin-1") << "insert" << int(two.size()) << 0 << QStringLiteral("\r\n\u4e00")
                                        << two + "\r\n?" << 2;
    }

    void assistiveToolsEditAsTheKeysDo()
    {
        QFETCH(QString, op);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, text);
        open();
        LogBox *box = ui().Text2();
        const QByteArray before = kT1 + "\r\n" + kT1;
        paste(before);
        QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(box);
        QAccessibleEditableTextInterface *edit = accessible->editableTextInterface();
        QVERIFY(edit);
        if (op == QLatin1String("insert"))
            edit->insertText(from, text);
        else if (op == QLatin1String("delete"))
            edit->deleteText(from, to);
        else if (op == QLatin1String("replace"))
            edit->replaceText(from, to, text);
        else
            accessible->setText(QAccessible::Value, text);
        QTEST(box->toPlainText().toLatin1(), "after");
        QTEST(ui().t1Store().count, "t1Frames");
        box->undo();
        QCOMPARE(box->toPlainText().toLatin1(), before);
        QCOMPARE(ui().t1Store().count, 2);
    }
};

QTEST_MAIN(LogBoxTest)
#include "logbox_test.moc"
