// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// What a desktop program is expected to do around the window: files go where
// the user may write, the export asks what to write, keys and the wheel page,
// the title and File > Recent Logs name the log. Run in a German locale, so
// that the user's decimal separator is not ".".

#include "exportdialog.h"
#include "userfolders.h"
#include "windowfixture.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include <unistd.h>

using namespace halcyra;
using namespace halcyra::test;

namespace {

const QString kTitle = QStringLiteral("Halcyra Telemetry Decoder [QZ7ZQ]");

QByteArray recorded(const char *name)
{
    return readFile(QStringLiteral(HALCYRA_DATA_DIR "/") + QLatin1String(name));
}

// A recorded file of the batch decoder (frame-time column, ".") as the export
// writes it without that column and with a decimal comma.
QByteArray withoutTimeInCommas(const char *name)
{
    QByteArrayList lines = recorded(name).split('\n');
    for (QByteArray &line : lines)
        line = line.mid(line.indexOf(';') + 1);
    for (qsizetype i = 1; i < lines.size(); ++i)
        lines[i].replace('.', ',');
    return lines.join('\n');
}

} // namespace

class ConventionsTest : public QObject, WindowFixture {
    Q_OBJECT

    QString home(const QString &name) const { return file("home/") + name; }

    void reopen(const QString &programFolder)
    {
        window = std::make_unique<Form1>(programFolder);
        window->show();
    }

    QStringList recentLogs() const
    {
        ui().MnuFile()->popup(QPoint(0, 0)); // fills the list as a user opening the menu does
        ui().MnuFile()->hide();
        QStringList texts;
        for (QAction *a : ui().MnuRecentLogs()->actions())
            texts << a->text();
        return texts;
    }

private slots:
    void cleanup() { window.reset(); }

    // An installed program's folder is not the user's to write to.
    void filesGoWhereTheUserMayWrite()
    {
        open();
        const QString program = file("bin"), documents = home(QStringLiteral("Documents/Halcyra/"));
        // Root may write to any folder whatever its mode; to root, a folder
        // that is gone is as unwritable as a read-only one is to a user.
        if (::geteuid() != 0)
            QVERIFY(QDir().mkdir(program) && QFile::setPermissions(program, QFile::ReadOwner | QFile::ExeOwner));
        const QString userConfIni = home(QStringLiteral(".config/halcyra/conf.ini"));
        QVERIFY(QDir().mkpath(QFileInfo(userConfIni).path()) && writeFile(userConfIni, "SCREENSHOT=NO\n"));
        reopen(program);
        QVERIFY(ui().Command1()->isHidden()); // the user's conf.ini, as there is none beside the program
        paste(kT1);
        ui().WriteCSVFile()->trigger();
        QCOMPARE(ui().Label3()->text(), documents + QStringLiteral("tovrik_Telemetry_T1.csv has been written"));
        QVERIFY(QFile::exists(documents + QStringLiteral("tovrik_Telemetry_T1.csv")));
        // Root may write to the system's folders; files go to documents all the same.
        for (const char *system : {"/usr/bin", "/usr/local/bin", "/opt"})
            QCOMPARE(outputFolder(QLatin1String(system)) + QLatin1Char('/'), documents);
        QCOMPARE(outputFolder(folder->path()), folder->path()); // the user's own, as a build folder
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(folder->path())); // no converter: the bitmap stays
        MessageBoxAnswer answer;
        ui().Command1_Click();
        QVERIFY(QFile::exists(documents + QStringLiteral("halcyra_")));
        // An IMAGE_PATH still says where pictures go.
        QVERIFY(QDir().mkdir(file("shots")) &&
                writeFile(userConfIni, "IMAGE_PATH=" + QFile::encodeName(file("shots/"))));
        reopen(program);
        ui().Command1_Click();
        qputenv("PATH", path);
        QVERIFY(QFile::exists(file("shots/halcyra_")));
        // A conf.ini beside the program is read instead of the user's.
        QVERIFY(writeFile(file("conf.ini"), "SCREENSHOT=YES\n"));
        reopen(folder->path());
        QVERIFY(!ui().Command1()->isHidden());
    }

    void exportWritesTheChosenRecords()
    {
        const struct {
            ExportChoice choice;
            const char *chosen;
            QStringList written;
            QByteArrayList expected;
        } cases[] = {
            {{RecordKinds::T1, true, false}, "out.csv", {"out.csv"}, {recorded("sample-t1.csv")}},
            {{RecordKinds::T2, true, false}, "out", {"out"}, {recorded("sample-t2.csv")}}, // a name without suffix
            // Both, no frame time, the locale's comma.
            {{RecordKinds::Both, false, true},
             "out.csv",
             {"out-t1.csv", "out-t2.csv"},
             {withoutTimeInCommas("sample-t1.csv"), withoutTimeInCommas("sample-t2.csv")}},
        };
        for (const auto &c : cases) {
            open();
            paste(recorded("sample.log"));
            ui().Export_Records(file(c.chosen), c.choice);
            QStringList paths;
            for (qsizetype i = 0; i < c.written.size(); ++i) {
                paths << folder->filePath(c.written[i]);
                QCOMPARE(readFile(paths.back()), c.expected[i]);
            }
            QCOMPARE(ui().Label3()->text(), paths.join(QStringLiteral(" and ")) +
                                                (paths.size() > 1 ? " have been written" : " has been written"));
        }
    }

    void aFailedExportKeepsEveryOldFile()
    {
        open();
        paste(kT1 + '\n' + kT2);
        QVERIFY(writeFile(file("out-t1.csv"), "old") && QDir().mkdir(file("out-t2.csv"))); // a folder in the way
        ui().Export_Records(file("out.csv"), ExportChoice{});
        QVERIFY(ui().Label3()->text().startsWith(file("out-t2.csv") + QStringLiteral(" could not be written: ")));
        QCOMPARE(readFile(file("out-t1.csv")), QByteArray("old"));
        QCOMPARE(QDir(folder->path()).entryList(QDir::Files), QStringList{"out-t1.csv"});
    }

    // Through the dialogs twice: the second time they offer what the first
    // one chose, and ask before replacing a file.
    void exportDialogsRememberAndAskBeforeReplacing()
    {
        open();
        QVERIFY(writeFile(file("pass.log"), recorded("sample.log")) && window->Open_Log(file("pass.log")));
        const QString out = file("out");
        QVERIFY(QDir().mkdir(out));
        QString offeredFolder, offeredName, question;
        bool offeredT1 = false;
        const auto run = [&](const char *kind) {
            ModalAnswers answers([&, kind](QWidget *modal) {
                if (auto *options = qobject_cast<ExportDialog *>(modal)) {
                    offeredT1 = options->findChild<QRadioButton *>(QStringLiteral("t1"))->isChecked();
                    options->findChild<QRadioButton *>(QLatin1String(kind))->click();
                    options->findChild<QRadioButton *>(QStringLiteral("point"))->click();
                    options->accept();
                } else if (auto *files = qobject_cast<QFileDialog *>(modal)) {
                    offeredFolder = files->directory().absolutePath();
                    // Typed, as selectFile() leaves alone a name box that has the focus.
                    QLineEdit *name = files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"));
                    offeredName = name->text();
                    name->setText(out + QStringLiteral("/x"));
                    static_cast<QDialog *>(files)->accept(); // through QFileDialog's own
                } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                    question = box->text();
                    box->button(QMessageBox::No)->click();
                }
            });
            ui().ExportRecords()->trigger();
        };
        run("t1");
        QCOMPARE(offeredName, QStringLiteral("pass-t1.csv"));
        QCOMPARE(readFile(out + QStringLiteral("/x.csv")), recorded("sample-t1.csv"));

        QVERIFY(writeFile(out + QStringLiteral("/x-t2.csv"), "old"));
        run("both");
        QVERIFY(offeredT1);
        QCOMPARE(offeredFolder, out);
        QCOMPARE(offeredName, QStringLiteral("pass.csv")); // two files, named from it
        QCOMPARE(question, QStringLiteral("x-t2.csv already exists. Do you want to replace it?"));
        QCOMPARE(readFile(out + QStringLiteral("/x-t2.csv")), QByteArray("old"));
        QVERIFY(!QFile::exists(out + QStringLiteral("/x-t1.csv")));
    }

    void keysAndTheWheelPageTheRecords()
    {
        open();
        paste((kT1 + '\n').repeated(30));
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QScrollBar *bar = ui().HScroll1();
        const auto key = [bar](QWidget *focus, Qt::Key k) {
            focus->setFocus();
            QTest::keyClick(focus, k);
            return bar->value();
        };
        // As from the mouse, passed on to the parent when ignored; sendEvent() would make it a synthetic one.
        const auto wheel = [bar](QWidget *over, int angle) {
            const QPointF at(over->width() / 2.0, over->height() / 2.0);
            QWheelEvent e(at, over->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
            QSpontaneKeyEvent::setSpontaneous(&e);
            QApplication::instance()->notify(over, &e);
            return bar->value();
        };
        QCOMPARE(key(ui().Text1(3), Qt::Key_PageDown), 2);
        QCOMPARE(key(ui().Text1(3), Qt::Key_End), 30); // not the box's own end of line
        QCOMPARE(key(ui().Option1(5), Qt::Key_PageDown), 30);
        QCOMPARE(key(bar, Qt::Key_Home), 1);
        QCOMPARE(key(bar, Qt::Key_PageDown), 2);          // one record, not the bar's page of ten
        QCOMPARE(key(ui().Text2(), Qt::Key_PageDown), 2); // the log box keeps its keys
        QCOMPARE(wheel(ui().Text1(7), -120), 3);          // towards the user: on
        QCOMPARE(wheel(ui().Option1(20), -60), 3);        // half a notch from a touchpad, then the other half
        QCOMPARE(wheel(ui().Label4(), -60), 4);
        QCOMPARE(wheel(ui().Text1(1), 240), 2);
        QCOMPARE(wheel(ui().Text2(), -120), 2);
        QCOMPARE(wheel(ui().Frame8(), -120), 2); // the chart is not the grid
    }

    void titleRecentLogsFollowAndQuit()
    {
        open();
        QVERIFY(QDir().mkpath(home(QStringLiteral("logs"))));
        const auto log = [this](const char *name) { return home(QStringLiteral("logs/%1.log").arg(name)); };
        for (const char *name : {"a", "b", "c", "d", "e", "f & g"})
            QVERIFY(writeFile(log(name), (kT1 + '\n').repeated(3)) && window->Open_Log(log(name)));
        QCOMPARE(window->windowTitle(), QStringLiteral("f & g.log - ") + kTitle);
        QVERIFY(window->Open_Log(log("c")));
        QCOMPARE(recentLogs(), QStringList({"&1 ~/logs/c.log", "&2 ~/logs/f && g.log", "&3 ~/logs/e.log",
                                            "&4 ~/logs/d.log", "&5 ~/logs/b.log"}));
        ui().MnuRecentLogs()->actions().at(1)->trigger();
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("f & g.log - ") + kTitle);
        // One that is gone is reported and leaves the list.
        QVERIFY(QFile::remove(log("d")));
        QCOMPARE(recentLogs().at(3), QStringLiteral("&4 ~/logs/d.log"));
        {
            MessageBoxAnswer answer;
            ui().MnuRecentLogs()->actions().at(3)->trigger();
            QTRY_VERIFY(answer.text.startsWith(QStringLiteral("Cannot open ")));
        }
        QCOMPARE(recentLogs(),
                 QStringList({"&1 ~/logs/f && g.log", "&2 ~/logs/c.log", "&3 ~/logs/e.log", "&4 ~/logs/b.log"}));

        QVERIFY(ui().Text1(1)->toolTip().isEmpty());
        ui().HScroll1()->setValue(1);
        window->Follow_Log(); // starts at the newest record
        QCOMPARE(ui().HScroll1()->value(), 3);

        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!window->isVisible());
    }
};

QTEST_MAIN(ConventionsTest)
#include "conventions_test.moc"
