// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "logfile.h"
#include "windowfixture.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMimeData>
#include <QScrollBar>
#include <QUrl>

#include <sys/stat.h>

using namespace halcyra;
using namespace halcyra::test;

namespace {

// `n` lines of a frame, each with a receive time.
QByteArray frames(const QByteArray &frame, int n)
{
    return ("10:15 " + frame + "\r\n").repeated(n);
}

// The log box holds a file's bytes as they are, line ends too.
QString shown(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes);
}

} // namespace

class FollowTest : public QObject, WindowFixture {
    Q_OBJECT

    QString path; // the log file

    // A window showing `log`, read from a file.
    void openLog(const QByteArray &log)
    {
        open();
        path = file("pass.log");
        QVERIFY(writeFile(path, log));
        QVERIFY(window->Open_Log(path));
    }
    bool append(const QByteArray &bytes) { return writeFile(path, bytes, QIODevice::Append); }
    void follow(bool notifications = true)
    {
        ui().logFollower()->setNotifications(notifications);
        ui().MnuFollowLog()->trigger();
        QVERIFY(ui().logFollower()->isFollowing());
    }

private slots:
    void cleanup() { window.reset(); }

    void readLogFileTakesBytesAndRefusesWhatIsNoTextLog()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("pass.log"));
        const auto reasonFor = [&](const QByteArray &content, qint64 limit = 100) {
            return writeFile(path, content) ? readLogFile(path, limit).reason : QStringLiteral("not written");
        };
        // Every byte is one character, as the parser counts them; following goes on from the end.
        const QByteArray latin1 = "\xb0 10:15 \xe9\r\n" + kT1.left(80) + "\r";
        QVERIFY(writeFile(path, latin1));
        const LogRead r = readLogFile(path, 100);
        QCOMPARE(r.text.view(), std::string_view(latin1.constData(), std::size_t(latin1.size())));
        QCOMPARE(r.stamp.size, latin1.size());
        QCOMPARE(reasonFor(QByteArray(100, 'x')), QString());
        QCOMPARE(reasonFor(QByteArray(101, 'x')), QStringLiteral("it is larger than 100 bytes"));
        QCOMPARE(reasonFor(QByteArray("\xff\xfeT\0", 4)), // UTF-16
                 QStringLiteral("it holds NUL bytes, so it is not a text log"));
        // Lines of 1 MiB, as the batch decoder takes them, but none longer.
        const QByteArray mib(1 << 20, 'x');
        QCOMPARE(reasonFor(mib + "\r\n" + mib, kLogSizeLimit), QString());
        QCOMPARE(reasonFor(kT1 + "\n" + mib + "x", kLogSizeLimit), QStringLiteral("it holds a line longer than 1 MiB"));
        // /proc reports a size of 0 for text it makes up as it is read.
        const LogRead status = readLogFile(QStringLiteral("/proc/self/status"));
        const std::string_view text = status.text.view();
        QVERIFY2(text.substr(0, 5) == "Name:" && text.back() == '\n', std::string(text).c_str());
        QCOMPARE(status.stamp.size, qint64(text.size()));
        QCOMPARE(readLogFile(QStringLiteral("/proc/self/status"), 100).reason,
                 QStringLiteral("it is larger than 100 bytes"));
        QVERIFY(QFile::remove(path));
        QCOMPARE(readLogFile(path).reason, QStringLiteral("it cannot be read (No such file or directory)"));
        // Opening a FIFO would wait for a writer; a folder or a device is no log either.
        const QString fifo = dir.filePath(QStringLiteral("fifo"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(readLogFile(fifo).reason, QStringLiteral("it is not a regular file"));
    }

    void openLogReplacesTheLogAndARefusalKeepsIt()
    {
        open();
        path = file("pass 1.log");
        ui().Text2()->setPlainText(QStringLiteral("typed by hand"));
        MessageBoxAnswer answer;
        QVERIFY(writeFile(path, QByteArray()));
        QVERIFY(QFile::resize(path, kLogSizeLimit + 1)); // sparse
        QVERIFY(!window->Open_Log(path));
        QCOMPARE(answer.text,
                 QStringLiteral("Cannot open %1: it is larger than 50 MB.").arg(QDir::toNativeSeparators(path)));
        QCOMPARE(ui().Text2()->toPlainText(), QStringLiteral("typed by hand"));
        QVERIFY(!ui().MnuFollowLog()->isEnabled()); // following needs an opened log

        // Chosen in the file dialog.
        answer.text.clear();
        const QByteArray log = frames(kT1, 3) + frames(kT2, 2);
        QVERIFY(writeFile(path, log));
        QTimer::singleShot(0, this, [this] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        ui().MnuOpenLog()->trigger();
        QCOMPARE(ui().Text2()->toPlainText(), shown(log));
        QCOMPARE(ui().t2Store().count, 2);
        QVERIFY(answer.text.isEmpty());
        QVERIFY(ui().MnuFollowLog()->isEnabled());
    }

    void aDroppedFileOpens_data()
    {
        QTest::addColumn<bool>("onLogBox");
        QTest::newRow("on the window") << false;
        QTest::newRow("on the log box") << true;
    }
    void aDroppedFileOpens()
    {
        QFETCH(bool, onLogBox);
        open();
        QWidget *target = onLogBox ? ui().Text2()->viewport() : static_cast<QWidget *>(window.get());
        path = file("pass.log");
        QVERIFY(writeFile(path, frames(kT1, 4)));
        ui().Text2()->setPlainText(QStringLiteral("before"));

        // A drag that enters, and when it is taken, drops; as a file manager does it.
        const auto drag = [&](const QList<QUrl> &urls) {
            QMimeData data;
            data.setUrls(urls);
            QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
            enter.ignore();
            QApplication::sendEvent(target, &enter);
            if (!enter.isAccepted())
                return false;
            QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, {});
            QApplication::sendEvent(target, &drop);
            return drop.isAccepted() && drop.dropAction() == Qt::CopyAction; // the file stays where it is
        };
        // Only one local file is taken; several files or a link are refused,
        // and do not end up in the log as text.
        QVERIFY(!drag({QUrl::fromLocalFile(path), QUrl::fromLocalFile(path)}));
        QVERIFY(!drag({QUrl(QStringLiteral("https://example.org/pass.log"))}));
        QApplication::processEvents();
        QCOMPARE(ui().Text2()->toPlainText(), QStringLiteral("before"));

        QVERIFY(drag({QUrl::fromLocalFile(path)}));
        QTRY_COMPARE(ui().t1Store().count, 4);
        QCOMPARE(ui().Text2()->toPlainText(), shown(frames(kT1, 4)));

        // A refused file is reported after the drop has returned.
        const QString binary = file("pass.bin");
        QVERIFY(writeFile(binary, QByteArray(2, '\0')));
        MessageBoxAnswer answer;
        QVERIFY(drag({QUrl::fromLocalFile(binary)}));
        QVERIFY(answer.text.isEmpty());
        QTRY_VERIFY2(answer.text.contains(QDir::toNativeSeparators(binary)), qPrintable(answer.text));
        QCOMPARE(ui().t1Store().count, 4);
    }

    void followTracksWhatHappensToTheFile()
    {
        QByteArray content = frames(kT1, 3);
        openLog(content);
        // Each write goes to the file and to what the log box must show.
        const auto add = [&](const QByteArray &bytes) {
            content += bytes;
            return append(bytes);
        };
        QVERIFY(add(frames(kT2, 1))); // before following: shows when it starts
        follow();
        QCOMPARE(ui().t2Store().count, 1);
        QTRY_VERIFY(ui().Label3()->text().contains("new frames archived")); // the file so far
        ui().Label3()->clear();
        QVERIFY(add(frames(kT1, 2)));
        QTRY_COMPARE(ui().t1Store().count, 5);

        // A line written in two parts is shown as it arrives and decoded once,
        // when complete; the half frame is no wrong-length frame.
        QVERIFY(add("10:16 " + kT1.left(60)));
        QTRY_COMPARE(ui().Text2()->toPlainText(), shown(content));
        QCOMPARE(ui().t1Store().count, 5);
        QVERIFY(ui().Label3()->text().isEmpty());
        QVERIFY(add(kT1.mid(60) + "\r"));
        QTRY_COMPARE(ui().t1Store().count, 6);
        // The LF of a CR LF pair that came in a write of its own ends no second line.
        QVERIFY(add("\n" + frames(kT1, 1)));
        QTRY_COMPARE(ui().t1Store().count, 7);
        QCOMPARE(ui().Text2()->toPlainText(), shown(content));

        // Truncated, or truncated and written longer before the next look: read again whole.
        QVERIFY(writeFile(path, frames(kT1, 2)));
        QTRY_COMPARE(ui().Text2()->toPlainText(), shown(frames(kT1, 2)));
        QVERIFY(writeFile(path, frames(kT2, 5)));
        QTRY_COMPARE(ui().Text2()->toPlainText(), shown(frames(kT2, 5)));
        QCOMPARE(ui().t1Store().count, 0);

        // Replaced by rotation: the new file is read whole and followed.
        const QString fresh = file("pass.new");
        QVERIFY(writeFile(fresh, frames(kT1, 1)));
        QVERIFY(QFile::rename(path, file("pass.log.1")));
        QVERIFY(QFile::rename(fresh, path));
        QTRY_COMPARE(ui().Text2()->toPlainText(), shown(frames(kT1, 1)));
        QVERIFY(append(frames(kT1, 1)));
        QTRY_COMPARE(ui().t1Store().count, 2);

        // Gone: following stops and says so; the log box keeps what it showed.
        QVERIFY(QFile::remove(path));
        QTRY_VERIFY(!ui().MnuFollowLog()->isChecked());
        const QString stopped = QStringLiteral("Following stopped: ") + QDir::toNativeSeparators(path);
        QCOMPARE(ui().Label3()->text(), stopped + QStringLiteral(" has disappeared"));
        QVERIFY(!ui().logFollower()->isFollowing());
        QCOMPARE(ui().t1Store().count, 2);

        // Back again: following again withdraws the message.
        QVERIFY(writeFile(path, frames(kT2, 1)));
        follow();
        QVERIFY(ui().Label3()->text().isEmpty());
        QTRY_COMPARE(ui().Text2()->toPlainText(), shown(frames(kT2, 1)));
        // No longer a text log: following stops, and what was shown stays.
        QVERIFY(append(QByteArray(3, '\0')));
        QTRY_VERIFY(!ui().MnuFollowLog()->isChecked());
        QCOMPARE(ui().Label3()->text(),
                 stopped + QStringLiteral(" now holds NUL bytes, so it is no longer a text log"));
        QCOMPARE(ui().Text2()->toPlainText(), shown(frames(kT2, 1)));
        // Grown beyond what the window takes.
        QVERIFY(writeFile(path, frames(kT2, 1)));
        follow();
        QVERIFY(QFile::resize(path, kLogSizeLimit + 1)); // sparse
        QTRY_VERIFY(!ui().MnuFollowLog()->isChecked());
        QCOMPARE(ui().Label3()->text(), stopped + QStringLiteral(" has grown beyond 50 MB"));
        // A last line that grows beyond 1 MiB over several writes.
        QVERIFY(writeFile(path, frames(kT2, 1)));
        follow();
        QVERIFY(append("10:15 T1"));
        QTRY_COMPARE(ui().Text2()->toPlainText(), shown(frames(kT2, 1) + "10:15 T1"));
        QVERIFY(append(QByteArray(1 << 20, 'x')));
        QTRY_VERIFY(!ui().MnuFollowLog()->isChecked());
        QCOMPARE(ui().Label3()->text(), stopped + QStringLiteral(" now holds a line longer than 1 MiB"));
        QCOMPARE(ui().Text2()->toPlainText(), shown(frames(kT2, 1) + "10:15 T1"));
    }

    void briefAbsencesOfARotatedLogAreNoDisappearance()
    {
        // Each rotation leaves the path empty for less than the grace time;
        // two of them a second apart are still no file gone for good.
        QTemporaryDir dir;
        path = dir.filePath(QStringLiteral("pass.log"));
        QVERIFY(writeFile(path, frames(kT1, 1)));
        LogFollower follower;
        follower.setNotifications(false);
        follower.setFile(path, readLogFile(path));
        QString stopped;
        connect(&follower, &LogFollower::stopped, this, [&](const QString &reason) { stopped = reason; });
        int reloads = 0;
        connect(&follower, &LogFollower::reloaded, this, [&] { ++reloads; });
        follower.start();
        for (int rotation = 1; rotation <= 2; ++rotation) {
            QVERIFY(QFile::rename(path, path + QString::number(rotation)));
            follower.check();
            QTest::qWait(300);
            QVERIFY(writeFile(path, frames(kT2, rotation)));
            follower.check();
            QCOMPARE(reloads, rotation);
            QTest::qWait(700);
        }
        QVERIFY2(follower.isFollowing(), qPrintable(stopped));
    }

    void aRewrittenFileIsReadAgainWhateverItsSize()
    {
        openLog(frames(kT1, 40)); // more than the 4 KiB kept of each end
        follow();
        // Truncated and written longer before the next look, with the bytes at
        // the old end as they were, then with the first 4 KiB as they were.
        const QByteArray newHead = "10:16 " + kT1 + "\r\n" + frames(kT1, 40);
        QVERIFY(writeFile(path, newHead));
        QTRY_COMPARE(ui().Text2()->toPlainText(), shown(newHead));
        const QByteArray newEnd = "10:16 " + kT1 + "\r\n" + frames(kT1, 39) + "10:17 " + kT1 + "\r\n" + frames(kT1, 2);
        QVERIFY(writeFile(path, newEnd));
        QTRY_COMPARE(ui().Text2()->toPlainText(), shown(newEnd));
        // Rewritten to the same size.
        QVERIFY(writeFile(path, frames(kT1, 43)));
        QTRY_COMPARE(ui().Text2()->toPlainText(), shown(frames(kT1, 43)));
        // Rewritten to the same size with 4 KiB at each end as they were: it
        // was written to, in a later tick of the file system's clock.
        QVERIFY(append(frames(kT1, 27)));
        QTRY_COMPARE(ui().t1Store().count, 70);
        QTest::qWait(50);
        const QByteArray middle = frames(kT1, 35) + "10:16 " + kT1 + "\r\n" + frames(kT1, 34);
        QVERIFY(writeFile(path, middle));
        QTRY_COMPARE(ui().Text2()->toPlainText(), shown(middle));
    }

    void withoutNotificationThePollReadsTheFile()
    {
        openLog(frames(kT1, 1));
        follow(false);
        QVERIFY(append(frames(kT1, 2)));
        QTRY_COMPARE(ui().t1Store().count, 3);
        // Written beside it and renamed over it, as a log is replaced atomically.
        const QString fresh = file("pass.new");
        QVERIFY(writeFile(fresh, frames(kT2, 1)));
        QCOMPARE(::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(path).constData()), 0);
        QTRY_COMPARE(ui().Text2()->toPlainText(), shown(frames(kT2, 1)));
    }

    void followingLeavesTheUsersPlaceAlone()
    {
        openLog(frames(kT1, 30));
        ui().HScroll1()->setValue(30);
        follow();
        QScrollBar *lines = ui().Text2()->verticalScrollBar();
        QVERIFY(lines->maximum() > 0);
        QCOMPARE(lines->value(), lines->maximum());

        // On the last record and the last line, the view moves on with the file.
        QVERIFY(append(frames(kT1, 2)));
        QTRY_COMPARE(ui().HScroll1()->maximum(), 32);
        QCOMPARE(ui().HScroll1()->value(), 32);
        QCOMPARE(ui().Label2()->text(), QStringLiteral("32/32"));
        QCOMPARE(lines->value(), lines->maximum());

        // Elsewhere it stays, and so does the cursor of someone typing.
        ui().HScroll1()->setValue(7);
        ui().Text2()->setFocus();
        ui().Text2()->setCursorPosition(0);
        QTest::keyClicks(ui().Text2(), QStringLiteral("# note"));
        QTest::keyClick(ui().Text2(), Qt::Key_Return);
        lines->setValue(0);
        QVERIFY(append(frames(kT2, 1)));
        QTRY_COMPARE(ui().t2Store().count, 1);
        QCOMPARE(ui().HScroll1()->value(), 7);
        QCOMPARE(lines->value(), 0);
        QCOMPARE(ui().Text2()->toPlainText(),
                 QStringLiteral("# note\r\n") + shown(frames(kT1, 32)) + shown(frames(kT2, 1)));
        QCOMPARE(ui().Text2()->cursorPosition(), 8);
    }
};

QTEST_MAIN(FollowTest)
#include "follow_test.moc"
