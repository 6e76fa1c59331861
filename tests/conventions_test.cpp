// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// What a desktop program is expected to do around the window: files go where
// the user may write, the export asks what to write, keys and the wheel page,
// the title and File > Recent Logs name the log. Run in a German locale, so
// that the user's decimal separator is not ".".

#include "exportdialog.h"
#include "windowfixture.h"

#include <QAction>
#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>

#include <functional>

#include <unistd.h>

using namespace halcyra;
using namespace halcyra::test;

Q_DECLARE_METATYPE(halcyra::ExportChoice)

namespace {

const QString kTitle = QStringLiteral("Halcyra Telemetry Decoder [QZ7ZQ]");

// A recorded file of the batch decoder (with the frame-time column and ".")
// as the export writes it without that column, and with a decimal comma.
QByteArray withoutTimeInCommas(const QByteArray &recorded)
{
    QByteArray out;
    bool header = true;
    for (const QByteArray &line : recorded.split('\n')) {
        if (line.isEmpty())
            continue;
        QByteArray rest = line.mid(line.indexOf(';') + 1);
        out += (header ? rest : rest.replace('.', ',')) + '\n';
        header = false;
    }
    return out;
}

QByteArray recorded(const char *name)
{
    return readFile(QStringLiteral(HALCYRA_DATA_DIR "/") + QLatin1String(name));
}

// Acts on each modal dialog as it opens, until told to stop.
class ModalAnswers {
public:
    explicit ModalAnswers(std::function<void(QWidget *)> act) : act_(std::move(act))
    {
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this] {
            if (QWidget *modal = QApplication::activeModalWidget(); modal && modal != last_) {
                last_ = modal;
                act_(modal);
            }
        });
        timer_.start(10);
    }

private:
    std::function<void(QWidget *)> act_;
    QPointer<QWidget> last_;
    QTimer timer_;
};

} // namespace

class ConventionsTest : public QObject, WindowFixture {
    Q_OBJECT

    QByteArray savedPath;

    QString home(const QString &name) const { return file("home/") + name; }
    QString userConfIni() const { return home(QStringLiteral(".config/halcyra/conf.ini")); }

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
    void initTestCase() { savedPath = qgetenv("PATH"); }
    void cleanup()
    {
        window.reset();
        qputenv("PATH", savedPath);
    }

    void confIniBesideTheProgramWinsOverTheUsers()
    {
        open();
        QVERIFY(QDir().mkpath(QFileInfo(userConfIni()).path()));
        QVERIFY(writeFile(userConfIni(), "SCREENSHOT=NO\n"));
        reopen(folder->path());
        QVERIFY(ui().Command1()->isHidden());
        QVERIFY(writeFile(file("conf.ini"), "SCREENSHOT=YES\n"));
        reopen(folder->path());
        QVERIFY(!ui().Command1()->isHidden());
    }

    // An installed program's folder is not the user's to write to.
    void filesGoToTheDocumentsWhenTheProgramFolderIsReadOnly()
    {
        open();
        const QString program = file("bin");
        // Root may write to any folder whatever its mode; to root, a folder
        // that is gone is as unwritable as a read-only one is to a user.
        if (::geteuid() != 0)
            QVERIFY(QDir().mkdir(program) &&
                    QFile::setPermissions(program, QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        reopen(program);
        paste(kT1);
        const QString documents = home(QStringLiteral("Documents/Halcyra/"));
        ui().WriteCSVFile()->trigger();
        QCOMPARE(ui().Label3()->text(), documents + QStringLiteral("tovrik_Telemetry_T1.csv has been written"));
        QVERIFY(QFile::exists(documents + QStringLiteral("tovrik_Telemetry_T1.csv")));

        qputenv("PATH", folder->path().toLocal8Bit()); // no converter: the bitmap stays
        MessageBoxAnswer answer;
        ui().Command1_Click();
        QVERIFY(QFile::exists(documents + QStringLiteral("halcyra_")));

        // IMAGE_PATH, here from the user's conf.ini, still says where pictures go.
        const QString shots = file("shots/");
        QVERIFY(QDir().mkpath(shots) && QDir().mkpath(QFileInfo(userConfIni()).path()));
        QVERIFY(writeFile(userConfIni(), "IMAGE_PATH=" + QFile::encodeName(shots) + '\n'));
        reopen(program);
        ui().Command1_Click();
        QVERIFY(QFile::exists(shots + QStringLiteral("halcyra_")));
    }

    void exportWritesTheChosenRecords_data()
    {
        QTest::addColumn<ExportChoice>("choice");
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QStringList>("written");
        QTest::addColumn<QList<QByteArray>>("expected");
        QTest::newRow("T1 with frame time and point")
            << ExportChoice{RecordKinds::T1, true, false} << QStringLiteral("out.csv") << QStringList{"out.csv"}
            << QList<QByteArray>{recorded("sample-t1.csv")};
        QTest::newRow("T2 with frame time, a name without suffix")
            << ExportChoice{RecordKinds::T2, true, false} << QStringLiteral("out") << QStringList{"out"}
            << QList<QByteArray>{recorded("sample-t2.csv")};
        QTest::newRow("both, no frame time, the locale's comma")
            << ExportChoice{RecordKinds::Both, false, true} << QStringLiteral("out.csv")
            << QStringList{"out-t1.csv", "out-t2.csv"}
            << QList<QByteArray>{withoutTimeInCommas(recorded("sample-t1.csv")),
                                 withoutTimeInCommas(recorded("sample-t2.csv"))};
    }
    void exportWritesTheChosenRecords()
    {
        QFETCH(ExportChoice, choice);
        QFETCH(QString, chosen);
        QFETCH(QStringList, written);
        QFETCH(QList<QByteArray>, expected);
        open();
        paste(recorded("sample.log"));
        ui().Export_Records(folder->filePath(chosen), choice);
        QStringList paths;
        for (qsizetype i = 0; i < written.size(); ++i) {
            paths << folder->filePath(written[i]);
            QCOMPARE(readFile(paths.back()), expected[i]);
        }
        QCOMPARE(ui().Label3()->text(),
                 paths.join(QStringLiteral(" and ")) +
                     (paths.size() > 1 ? QStringLiteral(" have been written") : QStringLiteral(" has been written")));
    }

    void aFailedExportKeepsEveryOldFile()
    {
        open();
        paste(kT1 + '\n' + kT2);
        QVERIFY(writeFile(file("out-t1.csv"), "old"));
        QVERIFY(QDir().mkdir(file("out-t2.csv"))); // a folder where the T2 file should go
        ui().Export_Records(file("out.csv"), ExportChoice{});
        QVERIFY2(ui().Label3()->text().startsWith(file("out-t2.csv") + QStringLiteral(" could not be written: ")),
                 qPrintable(ui().Label3()->text()));
        QCOMPARE(readFile(file("out-t1.csv")), QByteArray("old"));
        QCOMPARE(QDir(folder->path()).entryList(QDir::Files), QStringList{"out-t1.csv"});
    }

    // The whole way through the dialogs, twice: the second time they offer
    // what the first one chose, and replacing a file is asked first.
    void exportRecordsRemembersAndAsksBeforeReplacing()
    {
        open();
        QVERIFY(writeFile(file("pass.log"), recorded("sample.log")));
        QVERIFY(window->Open_Log(file("pass.log")));
        const QString out = file("out");
        QVERIFY(QDir().mkdir(out));
        QString offeredFolder, offeredName, question;
        bool offeredT1 = false;
        auto answer = [&](const char *kind) {
            return [&, kind](QWidget *modal) {
                if (auto *options = qobject_cast<ExportDialog *>(modal)) {
                    offeredT1 = options->findChild<QRadioButton *>(QStringLiteral("t1"))->isChecked();
                    options->findChild<QRadioButton *>(QLatin1String(kind))->click();
                    options->findChild<QRadioButton *>(QStringLiteral("point"))->click();
                    options->accept();
                } else if (auto *files = qobject_cast<QFileDialog *>(modal)) {
                    offeredFolder = files->directory().absolutePath();
                    offeredName = files->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))->text();
                    files->selectFile(out + QStringLiteral("/x"));
                    static_cast<QDialog *>(files)->accept(); // through QFileDialog's own
                } else if (auto *box = qobject_cast<QMessageBox *>(modal)) {
                    question = box->text();
                    box->button(QMessageBox::No)->click();
                }
            };
        };

        {
            ModalAnswers answers(answer("t1"));
            ui().ExportRecords()->trigger();
        }
        QCOMPARE(offeredName, QStringLiteral("pass-t1.csv"));
        QCOMPARE(readFile(out + QStringLiteral("/x.csv")), recorded("sample-t1.csv"));

        QVERIFY(writeFile(out + QStringLiteral("/x-t2.csv"), "old"));
        {
            ModalAnswers answers(answer("both"));
            ui().ExportRecords()->trigger();
        }
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
        const auto press = [](QWidget *focus, Qt::Key key) {
            focus->setFocus();
            QTest::keyClick(focus, key);
        };
        press(ui().Text1(3), Qt::Key_PageDown);
        QCOMPARE(bar->value(), 2);
        press(ui().Text1(3), Qt::Key_End); // not the box's own end of line
        QCOMPARE(bar->value(), 30);
        press(ui().Option1(5), Qt::Key_PageDown);
        QCOMPARE(bar->value(), 30);
        press(bar, Qt::Key_Home);
        press(bar, Qt::Key_PageDown); // one record, not the bar's page of ten
        QCOMPARE(bar->value(), 2);
        press(ui().Text2(), Qt::Key_PageDown); // the log box keeps its keys
        QCOMPARE(bar->value(), 2);

        const auto wheel = [](QWidget *over, int angle) {
            const QPointF at(over->width() / 2.0, over->height() / 2.0);
            QWheelEvent e(at, over->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                          Qt::NoScrollPhase, false);
            // As from the mouse, passed on to the parent when ignored; sendEvent() would make it a synthetic one.
            QSpontaneKeyEvent::setSpontaneous(&e);
            QApplication::instance()->notify(over, &e);
        };
        wheel(ui().Text1(7), -120); // towards the user: on
        QCOMPARE(bar->value(), 3);
        wheel(ui().Option1(20), -60); // half a notch from a touchpad, then the other half
        QCOMPARE(bar->value(), 3);
        wheel(ui().Label4(), -60);
        QCOMPARE(bar->value(), 4);
        wheel(ui().Text1(1), 240);
        QCOMPARE(bar->value(), 2);
        wheel(ui().Text2(), -120);
        wheel(ui().Frame8(), -120);
        QCOMPARE(bar->value(), 2);
    }

    void titleRecentLogsFollowAndQuit()
    {
        open();
        QCOMPARE(window->windowTitle(), kTitle);
        for (const char *name : {"a", "b", "c", "d", "e", "f & g"}) {
            QVERIFY(QDir().mkpath(home(QStringLiteral("logs"))));
            QVERIFY(writeFile(home(QStringLiteral("logs/%1.log").arg(QLatin1String(name))), (kT1 + '\n').repeated(3)));
            QVERIFY(window->Open_Log(home(QStringLiteral("logs/%1.log").arg(QLatin1String(name)))));
        }
        QCOMPARE(window->windowTitle(), QStringLiteral("f & g.log - ") + kTitle);
        QCOMPARE(recentLogs(), QStringList({"&1 ~/logs/f && g.log", "&2 ~/logs/e.log", "&3 ~/logs/d.log",
                                            "&4 ~/logs/c.log", "&5 ~/logs/b.log"}));
        QVERIFY(window->Open_Log(home(QStringLiteral("logs/c.log"))));
        QCOMPARE(recentLogs(), QStringList({"&1 ~/logs/c.log", "&2 ~/logs/f && g.log", "&3 ~/logs/e.log",
                                            "&4 ~/logs/d.log", "&5 ~/logs/b.log"}));
        ui().MnuRecentLogs()->actions().at(1)->trigger();
        QTRY_COMPARE(window->windowTitle(), QStringLiteral("f & g.log - ") + kTitle);
        // One that is gone is reported and leaves the list.
        QVERIFY(QFile::remove(home(QStringLiteral("logs/d.log"))));
        const QStringList shown = recentLogs();
        QCOMPARE(shown.at(3), QStringLiteral("&4 ~/logs/d.log"));
        {
            MessageBoxAnswer answer;
            ui().MnuRecentLogs()->actions().at(3)->trigger();
            QTRY_VERIFY(answer.text.startsWith(QStringLiteral("Cannot open ")));
        }
        QCOMPARE(recentLogs(),
                 QStringList({"&1 ~/logs/f && g.log", "&2 ~/logs/c.log", "&3 ~/logs/e.log", "&4 ~/logs/b.log"}));

        QVERIFY(ui().Text1(1)->toolTip().isEmpty());

        // Following starts at the newest record.
        QCOMPARE(ui().HScroll1()->maximum(), 3);
        ui().HScroll1()->setValue(1);
        window->Follow_Log();
        QCOMPARE(ui().HScroll1()->value(), 3);

        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        QTest::keyClick(window.get(), Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!window->isVisible());
    }
};

QTEST_MAIN(ConventionsTest)
#include "conventions_test.moc"
