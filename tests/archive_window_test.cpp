// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// The window's Archive menu, and the frames of a followed log going into the
// archive, read back with the archive library.

#include "archive.h"
#include "importer.h"
#include "logfile.h"
#include "loggen.h"
#include "silentserver.h"
#include "windowfixture.h"

#include <QAction>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <sqlite3.h>

#include <cstdlib>
#include <set>
#include <thread>

using namespace halcyra;
using namespace halcyra::test;

namespace {

// Lines of distinct frames, each line ended by CR LF.
QList<QByteArray> frameLines(int t1, int t2, std::uint32_t seed = 1)
{
    QList<QByteArray> lines =
        QByteArray::fromStdString(
            loggen::generateLog({.t1Frames = t1, .t2Frames = t2, .seed = seed, .timeStamps = false, .noise = false}))
            .split('\n');
    lines.removeLast(); // after the last line end
    for (QByteArray &line : lines)
        line += '\n';
    return lines;
}

} // namespace

class ArchiveWindowTest : public QObject, WindowFixture {
    Q_OBJECT

    QTemporaryDir home_; // the user's default archive: not the real one; open() gives each test its settings

    // The archive conf.ini names, relative to the program folder.
    QString archivePath() const { return file("archive.sqlite"); }
    // The window opens `path`, which holds `start`, and follows it.
    bool followLog(const QString &path, const QByteArray &start)
    {
        if (!writeFile(path, start) || !window->Open_Log(path))
            return false;
        ui().MnuFollowLog()->trigger();
        return true;
    }
    bool followEmptyLog(const QString &path) { return followLog(path, QByteArray()); }

    void openWindow() { open("ARCHIVE = archive.sqlite\r\n"); }
    QAction *action(const char *name) const { return window->findChild<QAction *>(QLatin1String(name)); }
    QString status() const { return ui().Label3()->text(); }

    std::unique_ptr<archive::Archive> reader() const
    {
        archive::OpenOptions o;
        o.readOnly = true;
        return archive::openArchive(QFile::encodeName(archivePath()).toStdString(), o);
    }
    // Nothing while the archive's thread is still creating the file.
    std::uint64_t archived(FrameKind kind) const
    {
        try {
            return reader()->recordCount(kind);
        } catch (const archive::ArchiveError &) {
            return 0;
        }
    }
    // The station names the archived frames of both kinds carry, "" for none.
    std::set<std::string> stationsArchived() const
    {
        std::set<std::string> names;
        for (const FrameKind kind : {FrameKind::T1, FrameKind::T2})
            reader()->forEachRecord(kind, {}, [&](const archive::StoredRecord &r) {
                names.emplace(r.station);
                return true;
            });
        return names;
    }
    // Archive > Station..., answered by `act` with the dialog's name box and OK button.
    void stationDialog(const std::function<void(QLineEdit *, QPushButton *)> &act)
    {
        ModalAnswers answers([&](QWidget *dialog) {
            act(dialog->findChild<QLineEdit *>(QStringLiteral("stationName")),
                dialog->findChild<QDialogButtonBox *>()->button(QDialogButtonBox::Ok));
            if (dialog->isVisible())
                dialog->close();
        });
        action("MnuStation")->trigger();
    }
    QString stationShown()
    {
        QString shown;
        stationDialog([&](QLineEdit *name, QPushButton *) { shown = name->text(); });
        return shown;
    }
    void typeAFrame()
    {
        ui().Text2()->setCursorPosition(static_cast<int>(ui().Text2()->buffer().size()));
        ui().Text2()->insertText(QString::fromLatin1(frameLines(1, 0, 7).front()));
    }

private slots:
    void initTestCase()
    {
        QVERIFY(home_.isValid());
        qputenv("XDG_DATA_HOME", QFile::encodeName(home_.filePath(QStringLiteral("data"))));
    }
    void cleanup() { window.reset(); }
    void cleanupTestCase() { QVERIFY(!QFile::exists(home_.filePath(QStringLiteral("data")))); }

    void addLogCountsNewFramesAndNamesTheFile()
    {
        openWindow();
        const QString path = file("pass.log");
        QVERIFY(writeFile(path, frameLines(30, 20).join()));
        QVERIFY(window->Open_Log(path));
        action("MnuAddToArchive")->trigger();
        QTRY_COMPARE(status(), QStringLiteral("50 new frames archived, 0 were already there"));
        action("MnuAddToArchive")->trigger();
        QTRY_COMPARE(status(), QStringLiteral("0 new frames archived, 50 were already there"));

        // A frame typed into the opened log is the user's, not the file's.
        typeAFrame();
        action("MnuAddToArchive")->trigger();
        QTRY_COMPARE(status(), QStringLiteral("1 new frames archived, 50 were already there"));
        std::vector<std::string> sources;
        reader()->forEachRecord(FrameKind::T1, {}, [&](const archive::StoredRecord &r) {
            sources.emplace_back(r.source);
            return true;
        });
        QVERIFY(sources.size() == 31 && sources.back() == "paste");
        QCOMPARE(sources.front(), QFile::encodeName(path).toStdString());
    }

    void followedFramesGoInAsTheyArriveBeyondTheWindowsLimit()
    {
        openWindow();
        QVERIFY(action("MnuArchiveFollowed")->isChecked()); // on by default
        const QList<QByteArray> lines = frameLines(1030, 0);
        const QString path = file("pass.log");
        QVERIFY(followLog(path, lines.mid(0, 995).join()));
        QVERIFY(writeFile(path, lines.mid(995, 20).join(), QIODevice::Append));
        QTRY_COMPARE(ui().t1Store().count, 1000); // the window keeps no more
        QTRY_COMPARE(archived(FrameKind::T1), std::uint64_t{1015});
        // A frame whose line is still being written goes in once it is complete.
        QVERIFY(writeFile(path, lines.mid(1015, 14).join() + lines[1029].left(60), QIODevice::Append));
        QTRY_COMPARE(archived(FrameKind::T1), std::uint64_t{1029});
        QVERIFY(writeFile(path, lines[1029].mid(60), QIODevice::Append));
        QTRY_COMPARE(archived(FrameKind::T1), std::uint64_t{1030});

        // Typed while following: shown, never archived.
        typeAFrame();
        ui().MnuFollowLog()->trigger(); // stops, and what was followed is written
        QVERIFY(!ui().logFollower()->isFollowing());
        QCOMPARE(archived(FrameKind::T1), std::uint64_t{1030});
    }

    // Following archives the frames the log held already, also after a
    // restart and when the file is written anew: the archive counts what it
    // has, and each frame carries the station conf.ini names.
    void followingArchivesTheWholeLogOnce()
    {
        open("ARCHIVE = archive.sqlite\r\nSTATION =  QZ7ZQ \r\n");
        const QByteArray log = frameLines(30, 20).join();
        const QString path = file("pass.log");
        QVERIFY(writeFile(path, log) && window->Open_Log(path));
        typeAFrame(); // the user's, not the file's
        ui().MnuFollowLog()->trigger();
        QTRY_COMPARE(status(), QStringLiteral("Following pass.log: 50 new frames archived, 0 were already there"));
        ui().MnuFollowLog()->trigger();
        ui().MnuFollowLog()->trigger();
        QTRY_COMPARE(status(), QStringLiteral("Following pass.log: 0 new frames archived, 50 were already there"));

        QVERIFY(writeFile(path, frameLines(4, 0, 9).join() + log)); // rewritten: read again whole
        QTRY_COMPARE(status(), QStringLiteral("Following pass.log: 4 new frames archived, 50 were already there"));
        QCOMPARE(archived(FrameKind::T1) + archived(FrameKind::T2), std::uint64_t{54});
        QVERIFY(stationsArchived() == std::set<std::string>{"QZ7ZQ"});
    }

    // The name is checked as it is typed; the one taken is remembered, goes
    // with the frames added and followed from then on, and gives way to
    // conf.ini's STATION when that names a valid one.
    void theStationDialogRefusesABadNameAndNamesTheFrames()
    {
        openWindow();
        const QString path = file("pass.log");
        QVERIFY(writeFile(path, frameLines(3, 2).join()) && window->Open_Log(path));
        QString refusal;
        stationDialog([&](QLineEdit *name, QPushButton *ok) {
            name->setText(QStringLiteral("DK0XX\tclub"));
            refusal = ok->isEnabled() ? QString() : name->parentWidget()->findChild<QLabel *>("stationNote")->text();
            name->setText(QStringLiteral("  DK0XX club "));
            ok->click();
        });
        QVERIFY2(refusal.contains("control character"), qPrintable(refusal));
        QCOMPARE(status(), QStringLiteral("Frames are archived as received by DK0XX club"));
        action("MnuAddToArchive")->trigger();
        QTRY_COMPARE(status(), QStringLiteral("5 new frames archived, 0 were already there"));

        // Changed while following: the frames from then on carry the new name.
        ui().MnuFollowLog()->trigger();
        QTRY_COMPARE(status(), QStringLiteral("Following pass.log: 0 new frames archived, 5 were already there"));
        stationDialog([](QLineEdit *name, QPushButton *ok) {
            name->setText(QStringLiteral("DL1YY"));
            ok->click();
        });
        QVERIFY(writeFile(path, frameLines(2, 0, 4).join(), QIODevice::Append));
        QTRY_COMPARE(archived(FrameKind::T1), std::uint64_t{5});
        QVERIFY((stationsArchived() == std::set<std::string>{"DK0XX club", "DL1YY"}));

        window = std::make_unique<Form1>(folder->path());
        QCOMPARE(stationShown(), QStringLiteral("DL1YY"));
        QVERIFY(writeFile(file("conf.ini"), "ARCHIVE = archive.sqlite\nSTATION = QZ7ZQ\n"));
        window = std::make_unique<Form1>(folder->path());
        QCOMPARE(stationShown(), QStringLiteral("QZ7ZQ"));
        QVERIFY(writeFile(file("conf.ini"), "ARCHIVE = archive.sqlite\nSTATION = QZ7ZQ\t/2\n"));
        window = std::make_unique<Form1>(folder->path());
        QVERIFY(status().startsWith("STATION in conf.ini is not used: "));
        QCOMPARE(stationShown(), QStringLiteral("DL1YY"));
    }

    // The archive is deleted, then replaced by another one, while a log is
    // followed: the frames go into the file there now, not into one nobody
    // can reach.
    void aDeletedOrReplacedArchiveIsLetGo()
    {
        openWindow();
        const QList<QByteArray> lines = frameLines(12, 0);
        const QString path = file("pass.log");
        QVERIFY(followEmptyLog(path));
        QVERIFY(writeFile(path, lines.mid(0, 5).join(), QIODevice::Append));
        QTRY_VERIFY(QFile::exists(archivePath()));
        QTRY_COMPARE(archived(FrameKind::T1), std::uint64_t{5});

        const auto removeArchive = [this] {
            for (const char *end : {"", "-wal", "-shm"})
                QFile::remove(archivePath() + QLatin1String(end));
        };
        removeArchive();
        QVERIFY(writeFile(path, lines.mid(5, 3).join(), QIODevice::Append));
        QTRY_VERIFY(QFile::exists(archivePath()));
        QTRY_COMPARE(archived(FrameKind::T1), std::uint64_t{3});
        QTRY_VERIFY(status().contains("was deleted or replaced while open"));
        ui().Label3()->clear();

        // A copy put back in its place, as a backup is restored.
        const QString restored = file("restored.sqlite");
        archive::importText(*archive::openArchive(QFile::encodeName(restored).toStdString()),
                            frameLines(2, 0, 5).join().toStdString(), {});
        removeArchive();
        QVERIFY(QFile::rename(restored, archivePath()));
        QVERIFY(writeFile(path, lines.mid(8, 4).join(), QIODevice::Append));
        QTRY_COMPARE(archived(FrameKind::T1), std::uint64_t{6});
        QTRY_VERIFY(status().contains("was deleted or replaced while open"));
    }

    // A server that accepts and never answers: the window goes on while its
    // followed frames wait, and tells why they are not archived.
    void aServerThatDoesNotAnswerFreezesNothing()
    {
        test::SilentServer server;
        open("ARCHIVE = " + QByteArray::fromStdString(server.uri()) + "\r\n");
        const QString path = file("pass.log");
        QVERIFY(followEmptyLog(path));
        QVERIFY(writeFile(path, frameLines(3, 0).join(), QIODevice::Append));
        QTRY_VERIFY(server.waiting() > 0);
        const qint64 longest = longestEventDelay(1500);
        qInfo("While the server does not answer the window answered within %lld ms", longest);
        QVERIFY2(longest < 1000, qPrintable(QString::number(longest)));
        QCOMPARE(ui().t1Store().count, 3);
        QTRY_VERIFY(status().startsWith("Followed frames wait: postgresql://ham@127.0.0.1:"));
        QVERIFY(server.waiting() > 0); // all that time in the connect

        server.hangUp();
        QTRY_VERIFY(status().startsWith("Followed frames not archived yet: "));
        QVERIFY(status().contains("cannot connect"));
    }

    // The window closes while another program holds the archive and
    // followed frames wait to be written: they are written before it goes.
    void closingWritesTheFramesOnTheirWay()
    {
        openWindow();
        const QList<QByteArray> lines = frameLines(6, 0);
        const QString path = file("pass.log");
        QVERIFY(followEmptyLog(path));
        QVERIFY(writeFile(path, lines.mid(0, 2).join(), QIODevice::Append));
        QTRY_COMPARE(archived(FrameKind::T1), std::uint64_t{2});

        sqlite3 *other = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(archivePath()).constData(), &other), SQLITE_OK);
        QCOMPARE(sqlite3_exec(other, "BEGIN IMMEDIATE", nullptr, nullptr, nullptr), SQLITE_OK);
        QVERIFY(writeFile(path, lines.mid(2).join(), QIODevice::Append));
        QTRY_COMPARE(ui().t1Store().count, 6);
        std::thread release([other] {
            std::this_thread::sleep_for(std::chrono::milliseconds(1000));
            sqlite3_exec(other, "COMMIT", nullptr, nullptr, nullptr);
        });
        window.reset();
        release.join();
        sqlite3_close(other);
        QCOMPARE(archived(FrameKind::T1), std::uint64_t{6});
    }

    void nothingIsArchivedUnasked()
    {
        openWindow();
        paste(frameLines(5, 5).join());
        action("MnuArchiveFollowed")->trigger(); // off, and remembered
        const QString path = file("pass.log");
        QVERIFY(followEmptyLog(path));
        QVERIFY(writeFile(path, frameLines(5, 5, 3).join(), QIODevice::Append));
        QTRY_COMPARE(ui().t2Store().count, 5);
        QVERIFY(!QFile::exists(archivePath()));

        // A new window of the same user remembers the choice.
        window = std::make_unique<Form1>(folder->path());
        QVERIFY(!action("MnuArchiveFollowed")->isChecked());
    }
};

QTEST_MAIN(ArchiveWindowTest)
#include "archive_window_test.moc"
