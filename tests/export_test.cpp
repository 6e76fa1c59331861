// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "csvexport.h"
#include "fields.h"
#include "mainwindow.h"
#include "screenshot.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImageReader>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

using namespace halcyra;

namespace {

const QString kZeroT1 = QStringLiteral("T1") + QString(128, QLatin1Char('0'));
// X Cells Curr from 2C01 (91.57509) and Uptime from A005 (1 day).
const QString kT1 = QStringLiteral("T1A0052C01") + QString(120, QLatin1Char('0'));
const QString kT2 = QStringLiteral("T2") + QString(96, QLatin1Char('F'));

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray expectedHeader()
{
    QByteArray h;
    for (const FieldInfo &f : FieldCatalogue)
        h += QByteArray(f.caption.data(), static_cast<qsizetype>(f.caption.size())) + ';';
    return h + "\r\n";
}

// A data line of a T1 record: the given first fields, zeros up to field 26,
// the temperature offset of a zero reading, then zeros.
QByteArray expectedLine(const QByteArray &first)
{
    QByteArray line = first;
    const int given = static_cast<int>(first.count(';'));
    for (int i = given; i < kFieldCount; ++i)
        line += i == 27 ? "159.18872;" : "0;";
    return line + "\r\n";
}

} // namespace

class ExportTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> folder;
    std::unique_ptr<Form1> window;
    QByteArray savedPath;

    void open(const QByteArray &confIni = QByteArray())
    {
        folder = std::make_unique<QTemporaryDir>();
        if (!confIni.isNull()) {
            QFile f(folder->filePath(QStringLiteral("conf.ini")));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(confIni);
        }
        window = std::make_unique<Form1>(folder->path());
        window->show();
    }
    QString csvPath() const { return folder->filePath(QLatin1String(kCsvFileName)); }

    // Puts a fake converter first on PATH that records its arguments, one a line.
    QString fakeConverter()
    {
        const QString bin = folder->filePath(QStringLiteral("bin"));
        QDir().mkpath(bin);
        QFile script(bin + QStringLiteral("/nconvert"));
        if (!script.open(QIODevice::WriteOnly))
            return {};
        script.write("#!/bin/sh\nprintf '%s\\n' \"$@\" > \"$0.args\"\n");
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
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

    void csvHoldsTheT1StoreByteForByte()
    {
        open();
        window->Text2->setPlainText(kT2 + QLatin1Char('\n') + kT1 + QStringLiteral("\r\n") + kZeroT1);
        window->WriteCSVFile->trigger();
        const QByteArray expected = expectedHeader() + expectedLine("1;91.57509;") + expectedLine(QByteArray());
        QCOMPARE(readAll(csvPath()), expected);
        QCOMPARE(window->Label3->text(), QDir::toNativeSeparators(csvPath()) + QStringLiteral(" has been written"));
        QVERIFY(expected.startsWith("Uptime;X Cells Curr;Y Cells Curr;"));
        QVERIFY(expected.contains("COMM2 RX cnt;COMM2 TX cnt;\r\n"));

        // A second export of a shorter log replaces the first one whole.
        window->Text2->setPlainText(kT2);
        window->WriteCSVFile->trigger();
        QCOMPARE(readAll(csvPath()), expectedHeader());
    }

    void csvUsesTheLocalesDecimalSeparator()
    {
        QCOMPARE(decimalSeparatorOf(QLocale(QLocale::German).decimalPoint()), ',');
        QCOMPARE(decimalSeparatorOf(QLocale(QLocale::English).decimalPoint()), '.');
        QTemporaryDir dir;
        auto store = std::make_unique<RecordStore>();
        store->append(FrameTimeText())->Values[1] = 12.5;
        store->records[1].Values[2] = -1.0 / 3;
        const QString path = dir.filePath(QStringLiteral("x.csv"));
        QVERIFY(writeCsvFile(path, {QStringLiteral("A"), QStringLiteral("B")}, *store, ',').written);
        QVERIFY(readAll(path).startsWith("A;B;\r\n0;12,5;-0,333333333333333;0;"));
    }

    void aFailedExportIsReportedAndLosesNothing()
    {
        open();
        window->Text2->setPlainText(kT1);
        QDir(folder->path()).mkdir(QLatin1String(kCsvFileName)); // a folder where the file should go
        window->WriteCSVFile->trigger();
        const QString status = window->Label3->text();
        QVERIFY2(status.startsWith(QDir::toNativeSeparators(csvPath()) + QStringLiteral(" could not be written: ")),
                 qPrintable(status));
        QVERIFY(!status.contains(QStringLiteral("has been written")));
        QCOMPARE(QDir(folder->path()).entryList(QDir::Files), QStringList());

        const ExportResult r =
            writeCsvFile(folder->filePath(QStringLiteral("missing/x.csv")), {}, window->t1Store(), '.');
        QVERIFY(!r.written);
        QVERIFY(!r.error.isEmpty());
    }

    void screenshotSavesTheClientAreaAndStartsTheConverter()
    {
        open();
        const QString argsFile = fakeConverter();
        window->Text2->setPlainText(kT1);
        QTest::mouseClick(window->Command1, Qt::LeftButton);
        const QString bitmap = window->imagePath() + QStringLiteral("halcyra_");
        QCOMPARE(window->Label3->text(), bitmap + QStringLiteral(" converted and saved"));
        QImageReader reader(bitmap);
        QCOMPARE(reader.format(), QByteArray("bmp"));
        QCOMPARE(reader.size(), window->centralWidget()->size());
        QTRY_VERIFY(QFile::exists(argsFile));
        QTRY_COMPARE(readAll(argsFile).split('\n'),
                     QByteArray("-out\npng\n-transpcolor\n240\n240\n240\n-colors\n256\n-crop\n1\n137\n709\n625\n"
                                "-quiet\n-D\n" +
                                bitmap.toLocal8Bit() + "\n")
                         .split('\n'));
    }

    void aPathWithBlanksReachesTheConverterAsOneArgument()
    {
        folder = std::make_unique<QTemporaryDir>();
        const QString shots = folder->filePath(QStringLiteral("my shots")) + QLatin1Char('/');
        QDir().mkpath(shots);
        QFile conf(folder->filePath(QStringLiteral("conf.ini")));
        QVERIFY(conf.open(QIODevice::WriteOnly));
        conf.write("IMAGE_PATH=" + shots.toLocal8Bit() + "\r\n");
        conf.close();
        window = std::make_unique<Form1>(folder->path());
        const QString argsFile = fakeConverter();
        window->Command1_Click();
        QTRY_VERIFY(QFile::exists(argsFile));
        QTRY_VERIFY(readAll(argsFile).endsWith("\n-D\n" + shots.toLocal8Bit() + "halcyra_\n"));
        QVERIFY(QFile::exists(shots + QStringLiteral("halcyra_")));
    }

    void withoutTheConverterAMessageBoxAppearsAndTheBitmapStays()
    {
        open();
        qputenv("PATH", folder->path().toLocal8Bit()); // nothing to start there
        QString text, title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            QCOMPARE(box->buttons().size(), 1);
            box->buttons().front()->click();
        });
        window->Command1_Click();
        QCOMPARE(text, QStringLiteral("nconvert.exe not found"));
        QCOMPARE(title, QStringLiteral("Error"));
        QCOMPARE(icon, QMessageBox::Information);
        const QString bitmap = window->imagePath() + QStringLiteral("halcyra_");
        QCOMPARE(window->Label3->text(), bitmap + QStringLiteral(" saved"));
        QVERIFY(QFile::exists(bitmap));
    }

    void aFailedCaptureIsReportedAndStartsNothing()
    {
        open("IMAGE_PATH=/nonexistent-folder/\n");
        const QString argsFile = fakeConverter();
        window->Command1_Click();
        QVERIFY2(window->Label3->text().startsWith(QStringLiteral("/nonexistent-folder/halcyra_ could not be saved: ")),
                 qPrintable(window->Label3->text()));
        QTest::qWait(200);
        QVERIFY(!QFile::exists(argsFile));
    }
};

QTEST_MAIN(ExportTest)
#include "export_test.moc"
