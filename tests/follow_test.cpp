// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "logfile.h"
#include "mainwindow.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTimer>
#include <QUrl>

#include <memory>

#include <sys/stat.h>
#include <unistd.h>

using namespace halcyra;

namespace {

const QByteArray kT1 = "T1" + QByteArray(128, '0');
const QByteArray kT2 = "T2" + QByteArray(96, '0');

QByteArray frames(const QByteArray &frame, int n)
{
    QByteArray text;
    for (int i = 0; i < n; ++i)
        text += "10:15 " + frame + "\r\n";
    return text;
}

bool writeFile(const QString &path, const QByteArray &bytes, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile f(path);
    return f.open(mode) && f.write(bytes) == bytes.size();
}

bool appendFile(const QString &path, const QByteArray &bytes)
{
    return writeFile(path, bytes, QIODevice::Append);
}

// The log box holds a file's lines with each line end as one '\n'.
QString shown(QByteArray bytes)
{
    bytes.replace("\r\n", "\n").replace('\r', '\n');
    return QString::fromLatin1(bytes);
}

// Answers the next message box, also one that opens later from a queued call.
class MessageBoxAnswer : public QObject {
public:
    explicit MessageBoxAnswer(QObject *parent) : QObject(parent)
    {
        timer_.setInterval(10);
        connect(&timer_, &QTimer::timeout, this, [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                text = box->text();
                icon = box->icon();
                timer_.stop();
                box->buttons().front()->click();
            }
        });
        timer_.start();
    }
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;

private:
    QTimer timer_;
};

} // namespace

class FollowTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<Form1> window;
    QString path; // the opened log

    QString file(const char *name) const { return folder->filePath(QLatin1String(name)); }
    // A window, and when `log` is given, that log written to a file and opened.
    void open(const QByteArray &log = QByteArray())
    {
        folder = std::make_unique<QTemporaryDir>();
        window = std::make_unique<Form1>(folder->path());
        window->show();
        path = file("pass.log");
        if (!log.isNull()) {
            QVERIFY(writeFile(path, log));
            QVERIFY(window->Open_Log(path));
        }
    }
    void follow(bool notifications = true)
    {
        window->logFollower()->setNotifications(notifications);
        window->MnuFollowLog->trigger();
        QVERIFY(window->MnuFollowLog->isChecked());
        QVERIFY(window->logFollower()->isFollowing());
    }

private slots:
    void cleanup() { window.reset(); }

    void readLogFileRefusesWhatIsNoTextLog_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("kind"); // how the file is made
        QTest::addColumn<QString>("reason");
        QTest::newRow("every byte one character") << "\xb0 10:15 \xe9\r\n" + kT1.left(80) + "\r"
                                                  << "file" << QString();
        QTest::newRow("text at the limit") << QByteArray(100, 'x') << "file" << QString();
        QTest::newRow("one byte beyond") << QByteArray(101, 'x') << "file"
                                         << "it is larger than 100 bytes";
        const QByteArray nul(1, '\0');
        QTest::newRow("NUL byte") << "T1" + nul + "00"
                                  << "file"
                                  << "it holds NUL bytes, so it is not a text log";
        QTest::newRow("UTF-16") << "\xff\xfeT" + nul + "1" + nul << "file"
                                << "it holds NUL bytes, so it is not a text log";
        QTest::newRow("missing") << QByteArray() << "missing"
                                 << "it cannot be read (No such file or directory)";
        QTest::newRow("folder") << QByteArray() << "folder"
                                << "it is not a regular file";
        QTest::newRow("FIFO, which must not block") << QByteArray() << "fifo"
                                                    << "it is not a regular file";
        QTest::newRow("no permission") << QByteArray("T1") << "unreadable"
                                       << "it cannot be read (Permission denied)";
    }
    void readLogFileRefusesWhatIsNoTextLog()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, kind);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("pass.log"));
        // The text is taken byte for byte: the parser counts bytes.
        if (kind == QLatin1String("file") || kind == QLatin1String("unreadable"))
            QVERIFY(writeFile(path, content));
        if (kind == QLatin1String("folder"))
            QVERIFY(QDir().mkdir(path));
        if (kind == QLatin1String("fifo"))
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        if (kind == QLatin1String("unreadable")) {
            if (::geteuid() == 0)
                QSKIP("root reads every file");
            QVERIFY(QFile::setPermissions(path, QFileDevice::WriteOwner));
        }
        const LogRead r = readLogFile(path, 100);
        QCOMPARE(r.reason, reason);
        QCOMPARE(r.text, reason.isEmpty() ? QString::fromLatin1(content) : QString());
        if (reason.isEmpty())
            QCOMPARE(r.stamp.size, content.size()); // following goes on from there
    }

    void openReplacesTheLogAndRefusalKeepsIt_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<qint64>("size"); // a sparse file of this size when not 0
        QTest::addColumn<QString>("reason");
        QTest::newRow("log") << frames(kT1, 3) + frames(kT2, 2) << qint64(0) << QString();
        QTest::newRow("binary") << QByteArray("T1\0", 3) << qint64(0) << "it holds NUL bytes, so it is not a text log";
        QTest::newRow("too large") << QByteArray() << kLogSizeLimit + 1 << "it is larger than 50 MB";
    }
    void openReplacesTheLogAndRefusalKeepsIt()
    {
        QFETCH(QByteArray, content);
        QFETCH(qint64, size);
        QFETCH(QString, reason);
        open();
        path = file("pass 1.log");
        QVERIFY(writeFile(path, content));
        if (size > 0)
            QVERIFY(QFile::resize(path, size));
        window->Text2->setPlainText(QStringLiteral("typed by hand"));

        auto *answer = new MessageBoxAnswer(this);
        const bool taken = window->Open_Log(path);
        QCOMPARE(taken, reason.isEmpty());
        if (taken) {
            QCOMPARE(window->Text2->toPlainText(), shown(content));
            QCOMPARE(window->t1Store().count, content.count("T1"));
            QCOMPARE(window->t2Store().count, content.count("T2"));
            QVERIFY(answer->text.isEmpty());
        } else {
            QCOMPARE(answer->text, QStringLiteral("Cannot open %1: %2.").arg(QDir::toNativeSeparators(path), reason));
            QCOMPARE(answer->icon, QMessageBox::Warning);
            QCOMPARE(window->Text2->toPlainText(), QStringLiteral("typed by hand"));
        }
        QCOMPARE(window->MnuFollowLog->isEnabled(), taken);
        delete answer;
    }

    void openLogIsInTheFileMenuAndUsesAFileDialog()
    {
        open();
        const QList<QAction *> items = window->MnuFile->actions();
        QVERIFY(items.indexOf(window->MnuOpenLog) < items.indexOf(window->MnuFollowLog));
        QVERIFY(items.indexOf(window->MnuFollowLog) < items.indexOf(window->MnuExit));
        QCOMPARE(window->MnuOpenLog->shortcut(), QKeySequence(QStringLiteral("Ctrl+O")));
        QVERIFY(window->MnuFollowLog->isCheckable());
        QVERIFY(!window->MnuFollowLog->isEnabled());

        QVERIFY(writeFile(path, frames(kT1, 2)));
        QTimer::singleShot(0, this, [this] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            QVERIFY(dialog);
            dialog->selectFile(path);
            QMetaObject::invokeMethod(dialog, "accept");
        });
        window->MnuOpenLog->trigger();
        QCOMPARE(window->t1Store().count, 2);
        QVERIFY(window->MnuFollowLog->isEnabled());
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
        QWidget *target = onLogBox ? window->Text2->viewport() : static_cast<QWidget *>(window.get());
        QVERIFY(writeFile(path, frames(kT1, 4)));
        window->Text2->setPlainText(QStringLiteral("before"));

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
        QCOMPARE(window->Text2->toPlainText(), QStringLiteral("before"));

        QVERIFY(drag({QUrl::fromLocalFile(path)}));
        QTRY_COMPARE(window->t1Store().count, 4);
        QCOMPARE(window->Text2->toPlainText(), shown(frames(kT1, 4)));

        // A refused file is reported after the drop has returned.
        const QString binary = file("pass.bin");
        QVERIFY(writeFile(binary, QByteArray(2, '\0')));
        auto *answer = new MessageBoxAnswer(this);
        QVERIFY(drag({QUrl::fromLocalFile(binary)}));
        QVERIFY(answer->text.isEmpty());
        QTRY_VERIFY2(answer->text.contains(QDir::toNativeSeparators(binary)), qPrintable(answer->text));
        QCOMPARE(window->t1Store().count, 4);
        delete answer;
    }

    void followAppendsWhatTheFileGains()
    {
        QByteArray content = frames(kT1, 3);
        open(content);
        QVERIFY(appendFile(path, frames(kT2, 1))); // before following: shows when it starts
        content += frames(kT2, 1);
        follow();
        QCOMPARE(window->t2Store().count, 1);

        for (int i = 0; i < 3; ++i) {
            QVERIFY(appendFile(path, frames(kT1, 1)));
            content += frames(kT1, 1);
            QTRY_COMPARE(window->t1Store().count, 4 + i);
        }
        // A line written in two parts is shown as it arrives and decoded once,
        // when complete; the half frame is no wrong-length frame.
        QVERIFY(appendFile(path, "10:16 " + kT1.left(60)));
        content += "10:16 " + kT1.left(60);
        QTRY_COMPARE(window->Text2->toPlainText(), shown(content));
        QCOMPARE(window->t1Store().count, 6);
        QVERIFY(window->Label3->text().isEmpty());
        QVERIFY(appendFile(path, kT1.mid(60) + "\r"));
        content += kT1.mid(60) + "\r";
        QTRY_COMPARE(window->t1Store().count, 7);
        // The LF of a CR LF pair that came in a write of its own ends no second line.
        QVERIFY(appendFile(path, "\n" + frames(kT1, 1)));
        content += "\n" + frames(kT1, 1);
        QTRY_COMPARE(window->t1Store().count, 8);
        QCOMPARE(window->Text2->toPlainText(), shown(content));

        // Truncated, or truncated and written longer before the next look: read again whole.
        QVERIFY(writeFile(path, frames(kT1, 2)));
        QTRY_COMPARE(window->Text2->toPlainText(), shown(frames(kT1, 2)));
        QVERIFY(writeFile(path, frames(kT2, 5)));
        QTRY_COMPARE(window->Text2->toPlainText(), shown(frames(kT2, 5)));
        QCOMPARE(window->t1Store().count, 0);

        // Replaced by rotation: the new file is read whole and followed.
        const QString fresh = file("pass.new");
        QVERIFY(writeFile(fresh, frames(kT1, 1)));
        QVERIFY(QFile::rename(path, file("pass.log.1")));
        QVERIFY(QFile::rename(fresh, path));
        QTRY_COMPARE(window->Text2->toPlainText(), shown(frames(kT1, 1)));
        QVERIFY(appendFile(path, frames(kT1, 1)));
        QTRY_COMPARE(window->t1Store().count, 2);

        // Gone: following stops and says so.
        QVERIFY(QFile::remove(path));
        QTRY_VERIFY(!window->MnuFollowLog->isChecked());
        QCOMPARE(window->Label3->text(),
                 QStringLiteral("Following stopped: %1 has disappeared").arg(QDir::toNativeSeparators(path)));
        QVERIFY(!window->logFollower()->isFollowing());
        QCOMPARE(window->t1Store().count, 2); // the log box keeps what it showed
    }

    void withoutNotificationThePollReadsTheFile()
    {
        open(frames(kT1, 1));
        follow(false);
        QVERIFY(appendFile(path, frames(kT1, 2)));
        QTRY_COMPARE(window->t1Store().count, 3);
        const QString fresh = file("pass.new");
        QVERIFY(writeFile(fresh, frames(kT2, 1)));
        // Written beside it and renamed over it, as a log is replaced atomically.
        QCOMPARE(::rename(QFile::encodeName(fresh).constData(), QFile::encodeName(path).constData()), 0);
        QTRY_COMPARE(window->Text2->toPlainText(), shown(frames(kT2, 1)));
        QVERIFY(QFile::remove(path));
        QTRY_VERIFY(!window->MnuFollowLog->isChecked());
    }

    void followStopsAtWhatIsNoLongerATextLog()
    {
        open(frames(kT1, 1));
        follow();
        QVERIFY(appendFile(path, QByteArray(3, '\0')));
        QTRY_VERIFY(!window->MnuFollowLog->isChecked());
        QVERIFY(window->Label3->text().startsWith(QStringLiteral("Following stopped: ")));
        QVERIFY(window->Label3->text().contains(QStringLiteral("NUL")));
        QCOMPARE(window->Text2->toPlainText(), shown(frames(kT1, 1)));

        // Once the file is a text log again, following again withdraws the message.
        QVERIFY(writeFile(path, frames(kT2, 1)));
        follow();
        QVERIFY(window->Label3->text().isEmpty());
        QTRY_COMPARE(window->Text2->toPlainText(), shown(frames(kT2, 1)));
        QVERIFY(window->MnuFollowLog->isChecked());
    }

    void theViewFollowsOnlyFromTheLastRecord()
    {
        open(frames(kT1, 30));
        window->HScroll1->setValue(30);
        follow();
        QScrollBar *lines = window->Text2->verticalScrollBar();
        QVERIFY(lines->maximum() > 0);
        QCOMPARE(lines->value(), lines->maximum());

        QVERIFY(appendFile(path, frames(kT1, 2)));
        QTRY_COMPARE(window->HScroll1->maximum(), 32);
        QCOMPARE(window->HScroll1->value(), 32);
        QCOMPARE(window->Label2->text(), QStringLiteral("32/32"));
        QCOMPARE(lines->value(), lines->maximum()); // the log box shows the newest lines

        window->HScroll1->setValue(7);
        lines->setValue(0);
        QVERIFY(appendFile(path, frames(kT1, 1)));
        QTRY_COMPARE(window->HScroll1->maximum(), 33);
        QCOMPARE(window->HScroll1->value(), 7);
        QCOMPARE(lines->value(), 0);
    }

    void typingWhileFollowingKeepsTheAppendsAtTheEnd()
    {
        open(frames(kT1, 1));
        follow();
        window->Text2->setFocus();
        QTextCursor cursor = window->Text2->textCursor();
        cursor.movePosition(QTextCursor::Start);
        window->Text2->setTextCursor(cursor);
        QTest::keyClicks(window->Text2, QStringLiteral("# note"));
        QTest::keyClick(window->Text2, Qt::Key_Return);
        QVERIFY(appendFile(path, frames(kT2, 1)));
        QTRY_COMPARE(window->t2Store().count, 1);
        QCOMPARE(window->Text2->toPlainText(),
                 QStringLiteral("# note\n") + shown(frames(kT1, 1)) + shown(frames(kT2, 1)));
        QCOMPARE(window->Text2->textCursor().position(), 7); // the typist's cursor stays
    }
};

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    FollowTest test;
    return QTest::qExec(&test, argc, argv);
}
#include "follow_test.moc"
