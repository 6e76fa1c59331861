// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The log box as the parser reads it: the same bytes as the batch decoder
// reads in a file, and the document's text after every edit.

#include "batch.h"
#include "logtext.h"
#include "windowfixture.h"

#include <QClipboard>
#include <QPushButton>
#include <QTextCursor>

#include <functional>
#include <utility>
#include <vector>

using namespace halcyra;
using namespace halcyra::test;

class LogTextTest : public QObject, WindowFixture {
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

    void theParserReadsTheDocumentAfterEveryEdit()
    {
        open();
        QPlainTextEdit *box = ui().Text2();
        const auto cursorAt = [box](int position) {
            QTextCursor c(box->document());
            c.setPosition(position);
            return c;
        };
        // Long enough that an insertion in the middle is read in pieces.
        const QString log = QString::fromLatin1(kT1 + '\n').repeated(20000);
        const std::vector<std::pair<const char *, std::function<void()>>> edits = {
            {"set", [&] { box->setPlainText(QStringLiteral("a\r\nb\rc\n\u00a0\u4e00\U0001F6F0\u2028d")); }},
            {"paste",
             [&] {
                 box->setTextCursor(cursorAt(2));
                 QGuiApplication::clipboard()->setText(QStringLiteral("1\r\n2\u00a0"));
                 box->paste();
             }},
            {"undo", [&] { box->undo(); }},
            {"long insertion", [&] { box->setPlainText(log), cursorAt(1000).insertText(log.left(1200000)); }},
            {"clear", [&] { QTest::mouseClick(ui().Command2(), Qt::LeftButton); }},
        };
        for (const auto &[name, edit] : edits) {
            edit();
            QVERIFY2(ui().logText() == LogText::readWhole(*box->document()), name);
            // The rule itself, and a paste undone in one step.
            if (name == std::string_view("set") || name == std::string_view("undo"))
                QCOMPARE(ui().logText(), std::string_view("a\nb\nc\n\xa0???\nd"));
        }
    }
};

QTEST_MAIN(LogTextTest)
#include "logtext_test.moc"
