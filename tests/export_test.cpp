// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "csvexport.h"
#include "recordview.h"
#include "windowfixture.h"

#include <QAction>
#include <QDir>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <csignal>

#include <sys/resource.h>

using namespace halcyra;
using namespace halcyra::test;

class ExportTest : public QObject, WindowFixture {
    Q_OBJECT

    QByteArray savedPath;

    QString csvPath() const { return file("tovrik_Telemetry_T1.csv"); }

    // Puts a fake converter first on PATH that records its arguments, one a line.
    QString fakeConverter()
    {
        const QString bin = file("bin");
        QDir().mkpath(bin);
        writeFile(bin + QStringLiteral("/nconvert"), "#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
        QFile::setPermissions(bin + QStringLiteral("/nconvert"), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        qputenv("PATH", (bin + QLatin1Char(':')).toLocal8Bit() + savedPath);
        return bin + QStringLiteral("/nconvert.args");
    }

private slots:
    void initTestCase() { savedPath = qgetenv("PATH"); }
    void cleanup()
    {
        window.reset();
        qputenv("PATH", savedPath);
    }

    // The recorded T1 file of the sample log, without its frame-time column.
    void csvOfTheSampleLogIsTheRecordedOne()
    {
        open();
        paste(readFile(QStringLiteral(HALCYRA_DATA_DIR "/sample.log")));
        ui().WriteCSVFile()->trigger();
        QByteArray expected;
        for (const QByteArray &line : readFile(QStringLiteral(HALCYRA_DATA_DIR "/sample-t1.csv")).split('\n'))
            if (!line.isEmpty())
                expected += line.mid(line.indexOf(';') + 1) + '\n';
        QCOMPARE(readFile(csvPath()), expected);
        QCOMPARE(ui().Label3()->text(), QDir::toNativeSeparators(csvPath()) + QStringLiteral(" has been written"));
        // With the decimal comma of a German locale.
        QCOMPARE(decimalSeparatorFor(QLocale(QLocale::German)), ',');
        QVERIFY(writeCsvFile(csvPath(), ui().t1Store(), ',').written);
        QCOMPARE(readFile(csvPath()), QByteArray(expected).replace('.', ','));
        // A second export of a log without T1 frames replaces the first one whole.
        paste(kT2);
        ui().WriteCSVFile()->trigger();
        QCOMPARE(readFile(csvPath()), expected.left(expected.indexOf('\n') + 1));
    }

    void aFailedExportIsReportedAndLosesNothing()
    {
        open();
        paste(kT1);
        const QString failed = QDir::toNativeSeparators(csvPath()) + QStringLiteral(" could not be written: ");
        QVERIFY(QDir().mkdir(csvPath())); // a folder where the file should go
        ui().WriteCSVFile()->trigger();
        QVERIFY2(ui().Label3()->text().startsWith(failed), qPrintable(ui().Label3()->text()));
        QCOMPARE(QDir(folder->path()).entryList(QDir::Files), QStringList()); // no half-written file
        // The store and the view stay as they were.
        QCOMPARE(ui().t1Store().count, 1);
        QVERIFY(!ui().Text1(1)->text().isEmpty());

        // A file size limit stops a write as a full disk does: the system takes
        // what fits, then refuses the rest and says why. Files of 9 and 27 kB,
        // within and beyond what a buffered write holds back.
        QVERIFY(QDir().rmdir(csvPath()) && writeFile(csvPath(), "old"));
        rlimit saved{};
        QCOMPARE(::getrlimit(RLIMIT_FSIZE, &saved), 0);
        const rlimit small{4096, saved.rlim_max};
        std::signal(SIGXFSZ, SIG_IGN);
        for (int frames : {100, 300}) {
            paste((kT1 + '\n').repeated(frames));
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &small), 0);
            ui().WriteCSVFile()->trigger();
            QCOMPARE(::setrlimit(RLIMIT_FSIZE, &saved), 0);
            QCOMPARE(ui().Label3()->text(), failed + QStringLiteral("File too large"));
            QCOMPARE(readFile(csvPath()), QByteArray("old"));
            QCOMPARE(QDir(folder->path()).entryList(QDir::Files), QStringList{QLatin1String(kCsvFileName)});
        }
        std::signal(SIGXFSZ, SIG_DFL);
    }

    void screenshotSavesTheClientAreaAndStartsTheConverter()
    {
        open();
        const QString folderPath = folder->path() + QStringLiteral("/my shots/"); // IMAGE_PATH with a blank
        QVERIFY(QDir().mkpath(folderPath));
        QVERIFY(writeFile(file("conf.ini"), "IMAGE_PATH=" + folderPath.toLocal8Bit() + "\r\n"));
        window = std::make_unique<Form1>(folder->path());
        window->show();
        const QString argsFile = fakeConverter();
        paste(kT1);
        window->resize(window->width() + 300, window->height() + 40); // the capture follows the window
        QApplication::processEvents();
        QTest::mouseClick(ui().Command1(), Qt::LeftButton);
        const QString bitmap = folderPath + QStringLiteral("halcyra_");
        QCOMPARE(ui().Label3()->text(), bitmap + QStringLiteral(" converted and saved"));
        QImageReader reader(bitmap);
        QCOMPARE(reader.format(), QByteArray("bmp"));
        QCOMPARE(reader.size(), window->centralWidget()->size());
        // One argument a line: the bitmap's path is the last one, blanks and all.
        QTRY_VERIFY(readFile(argsFile).endsWith('\n' + bitmap.toLocal8Bit() + '\n'));
    }

    void withoutTheConverterAMessageBoxAppearsAndTheBitmapStays()
    {
        open();
        qputenv("PATH", folder->path().toLocal8Bit()); // nothing to start there
        MessageBoxAnswer answer;
        ui().Command1_Click();
        QCOMPARE(answer.text, QStringLiteral("nconvert.exe not found"));
        const QString bitmap = ui().imagePath() + QStringLiteral("halcyra_");
        QCOMPARE(ui().Label3()->text(), bitmap + QStringLiteral(" saved"));
        QVERIFY(QFile::exists(bitmap));
    }

    void aFailedCaptureIsReportedAndStartsNothing()
    {
        open("IMAGE_PATH=/nonexistent-folder/\n");
        const QString argsFile = fakeConverter();
        ui().Command1_Click();
        QVERIFY2(ui().Label3()->text().startsWith(QStringLiteral("/nonexistent-folder/halcyra_ could not be saved: ")),
                 qPrintable(ui().Label3()->text()));
        QTest::qWait(200);
        QVERIFY(!QFile::exists(argsFile));
    }
};

QTEST_MAIN(ExportTest)
#include "export_test.moc"
