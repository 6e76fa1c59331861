// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The log box: the parser reads the same bytes as the batch decoder reads in
// a file, and the keys edit them as in any text box.

#include "batch.h"
#include "logbox.h"
#include "windowfixture.h"

#include <QAccessible>
#include <QClipboard>
#include <QPushButton>

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
};

QTEST_MAIN(LogBoxTest)
#include "logbox_test.moc"
