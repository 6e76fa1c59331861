// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// How the desktop starts the window: its command line, the program's answers
// without a display, and the scalable icon.

#include "artwork.h"
#include "commandline.h"
#include "logfile.h"
#include "windowfixture.h"

#include <QAction>
#include <QDir>
#include <QPainter>
#include <QProcess>
#include <QSvgRenderer>

using namespace halcyra;
using namespace halcyra::test;

class LaunchTest : public QObject, WindowFixture {
    Q_OBJECT

    // The program run with `arguments` where no window system can be reached:
    // its exit code, standard output and standard error.
    struct Run {
        int code = -1;
        QString out, err;
    };
    static Run runWithoutDisplay(const QStringList &arguments)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(HALCYRA_PROGRAM), arguments);
        const bool exited = program.waitForFinished(30000) && program.exitStatus() == QProcess::NormalExit;
        return {exited ? program.exitCode() : -1, QString::fromLocal8Bit(program.readAllStandardOutput()),
                QString::fromLocal8Bit(program.readAllStandardError())};
    }

private slots:
    void cleanup() { window.reset(); }

    void parsesTheCommandLine()
    {
        using A = CommandLine::Action;
        const struct {
            QStringList arguments;
            A action;
            QString log; // relative to the working folder
            bool follow = false, unknownOption = false;
        } cases[] = {
            {{}, A::Run, {}},
            {{"pass.log"}, A::Run, "pass.log"},
            {{"--follow", "pass.log"}, A::Run, "pass.log", true},
            {{"--", "-pass.log"}, A::Run, "-pass.log"}, // a log named like an option
            {{"pass.log", "--help"}, A::Help, {}},      // help before anything else
            {{"-v"}, A::Version, {}},
            {{"--follow"}, A::UsageError, {}}, // nothing to follow
            {{"a.log", "b.log"}, A::UsageError, {}},
            {{"-platform", "offscreen"}, A::UsageError, {}, false, true}, // not ours, perhaps Qt's
        };
        for (const auto &c : cases) {
            const CommandLine line = parseCommandLine(QStringList{QStringLiteral("halcyra")} + c.arguments);
            const QByteArray where = c.arguments.join(QLatin1Char(' ')).toLocal8Bit();
            QVERIFY2(line.action == c.action && line.unknownOption == c.unknownOption, where);
            QVERIFY2(line.error.isEmpty() == (c.action != A::UsageError), where);
            if (c.action == A::Run) {
                QCOMPARE(line.log, c.log.isEmpty() ? QString() : QDir::current().absoluteFilePath(c.log));
                QCOMPARE(line.follow, c.follow);
            }
        }
    }

    void opensAndFollowsTheNamedLogOrSaysWhyNot()
    {
        open();
        QVERIFY(writeFile(file("pass.log"), QByteArray("10:15 T1\0\0", 10)));
        MessageBoxAnswer answer;
        openFromCommandLine(*window, parseCommandLine({"halcyra", "--follow", file("pass.log")}));
        QTRY_VERIFY(!answer.text.isEmpty());
        QVERIFY2(
            answer.text.startsWith(QStringLiteral("Cannot open %1: ").arg(QDir::toNativeSeparators(file("pass.log")))),
            qPrintable(answer.text));
        QVERIFY(window->isVisible());
        QVERIFY(ui().Text2()->toPlainText().isEmpty());
        QVERIFY(!ui().logFollower()->isFollowing());

        const QByteArray log = "10:15 " + kT1 + "\r\n10:16 " + kT2 + "\r\n";
        QVERIFY(writeFile(file("pass.log"), log));
        openFromCommandLine(*window, parseCommandLine({"halcyra", "--follow", file("pass.log")}));
        QTRY_VERIFY(ui().logFollower()->isFollowing());
        QVERIFY(ui().MnuFollowLog()->isChecked());
        QCOMPARE(ui().logFollower()->path(), file("pass.log"));
        QCOMPARE(ui().Text2()->toPlainText(), QString::fromLatin1(log));
        QVERIFY(ui().t1Store().count == 1 && ui().t2Store().count == 1);
    }

    // help2man asks on machines without a display: a program that connected
    // to one first would abort there. (--version: the package checks.)
    void answersWithoutADisplay()
    {
        const Run help = runWithoutDisplay({QStringLiteral("--help")});
        QCOMPARE(help.code, 0);
        QVERIFY(help.out.startsWith(QStringLiteral("Usage: halcyra [--follow] [LOG]\n")));

        const Run usage = runWithoutDisplay({QStringLiteral("--follow")});
        QCOMPARE(usage.code, 2);
        QVERIFY(usage.out.isEmpty());
        QVERIFY(usage.err.endsWith(QStringLiteral("Try 'halcyra --help' for more information.\n")));
    }

    // QSvgGenerator must carry the whole drawing: gradients, pens and the
    // canvas size, or the desktop shows a different or clipped icon.
    void theScalableIconIsTheWindowIcon()
    {
        QSvgRenderer svg(QStringLiteral(HALCYRA_ICON_DIR "/scalable/apps/halcyra.svg"));
        QVERIFY(svg.isValid());
        const QImage drawn = drawWindowIcon(256);
        QImage rendered(drawn.size(), drawn.format());
        rendered.fill(Qt::transparent);
        QPainter p(&rendered);
        svg.render(&p);
        p.end();
        // Anti-aliasing differs by a level here and there; a missing part
        // or a shifted drawing differs by far more.
        qint64 difference = 0;
        for (qsizetype i = 0; i < drawn.sizeInBytes(); ++i)
            difference += std::abs(drawn.constBits()[i] - rendered.constBits()[i]);
        const double perChannel = double(difference) / double(drawn.sizeInBytes());
        QVERIFY2(perChannel < 1.0, qPrintable(QString::number(perChannel)));
    }
};

QTEST_MAIN(LaunchTest)
#include "launch_test.moc"
