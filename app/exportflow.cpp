// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "exportflow.h"

#include "exportdialog.h"
#include "recordview.h"
#include "settings.h"
#include "statusline.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QStandardPaths>

namespace halcyra {

namespace {

ExportChoice savedExportChoice(const Settings &settings)
{
    ExportChoice c;
    const QString kinds = settings.get(keys::exportKinds);
    c.kinds = kinds == QLatin1String("t1")   ? RecordKinds::T1
              : kinds == QLatin1String("t2") ? RecordKinds::T2
                                             : RecordKinds::Both;
    c.withTime = settings.get(keys::exportFrameTime);
    c.localeSeparator = settings.get(keys::exportLocaleSeparator);
    return c;
}

void saveExportChoice(Settings &settings, const ExportChoice &c)
{
    settings.set(keys::exportKinds, c.kinds == RecordKinds::T1   ? QStringLiteral("t1")
                                    : c.kinds == RecordKinds::T2 ? QStringLiteral("t2")
                                                                 : QStringLiteral("both"));
    settings.set(keys::exportFrameTime, c.withTime);
    settings.set(keys::exportLocaleSeparator, c.localeSeparator);
}

// Where the last export went, while it is still there.
QString exportFolder(const Settings &settings)
{
    QString folder = settings.get(keys::exportFolder);
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!QFileInfo(folder).isDir())
        folder = QDir::homePath();
    return folder;
}

} // namespace

ExportFlow::ExportFlow(const RecordStore &t1, const RecordStore &t2, Settings &settings, StatusLine &status,
                       QWidget *window)
    : t1_(t1), t2_(t2), settings_(settings), status_(status), window_(window)
{}

void ExportFlow::writeCsvFile(const QString &outputFolder)
{
    const QString path = QDir::toNativeSeparators(outputFolder) + QDir::separator() + QLatin1String(kCsvFileName);
    const ExportResult r = halcyra::writeCsvFile(path, t1_, decimalSeparatorFor(QLocale::system()));
    status_.set(StatusLine::Source::Export, r.written ? path + QStringLiteral(" has been written")
                                                      : path + QStringLiteral(" could not be written: ") + r.error);
}

void ExportFlow::exportRecords(const QString &logPath)
{
    const std::optional<ExportChoice> choice = askChoice();
    if (!choice)
        return;
    const QString chosen = askFile(*choice, logPath);
    if (!chosen.isEmpty() && mayReplace(chosen, *choice))
        Export_Records(chosen, *choice);
}

std::optional<ExportChoice> ExportFlow::askChoice()
{
    ExportDialog options(decimalSeparatorFor(QLocale::system()), window_);
    options.setChoice(savedExportChoice(settings_));
    if (options.exec() != QDialog::Accepted)
        return std::nullopt;
    saveExportChoice(settings_, options.choice());
    return options.choice();
}

QString ExportFlow::askFile(const ExportChoice &choice, const QString &logPath)
{
    const QString log = logPath.isEmpty() ? QStringLiteral("telemetry") : QFileInfo(logPath).completeBaseName();
    const QString kind = choice.kinds == RecordKinds::T1   ? QStringLiteral("-t1")
                         : choice.kinds == RecordKinds::T2 ? QStringLiteral("-t2")
                                                           : QString();
    QFileDialog files(window_, QStringLiteral("Export Records"), exportFolder(settings_));
    files.setAcceptMode(QFileDialog::AcceptSave);
    files.setNameFilters({QStringLiteral("CSV files (*.csv)"), QStringLiteral("All files (*)")});
    files.setDefaultSuffix(QStringLiteral("csv"));
    files.selectFile(log + kind + QStringLiteral(".csv"));
    // The chosen name itself is not written when both kinds go to files of their own.
    files.setOption(QFileDialog::DontConfirmOverwrite, choice.kinds == RecordKinds::Both);
    if (files.exec() != QDialog::Accepted || files.selectedFiles().isEmpty())
        return QString();
    const QString chosen = files.selectedFiles().constFirst();
    settings_.set(keys::exportFolder, QFileInfo(chosen).absolutePath());
    return chosen;
}

// The file dialog asked about the chosen name; both kinds write two others.
bool ExportFlow::mayReplace(const QString &chosen, const ExportChoice &choice)
{
    if (choice.kinds != RecordKinds::Both)
        return true;
    QStringList existing;
    for (const CsvOutput &out : exportOutputs(chosen, choice.kinds, t1_, t2_))
        if (QFileInfo::exists(out.path))
            existing << QFileInfo(out.path).fileName();
    if (existing.isEmpty())
        return true;
    const QString names = existing.join(QStringLiteral(" and "));
    QMessageBox ask(QMessageBox::Question, QStringLiteral("Export Records"),
                    existing.size() > 1 ? QStringLiteral("%1 already exist. Do you want to replace them?").arg(names)
                                        : QStringLiteral("%1 already exists. Do you want to replace it?").arg(names),
                    QMessageBox::Yes | QMessageBox::No, window_);
    ask.setDefaultButton(QMessageBox::No);
    return ask.exec() == QMessageBox::Yes;
}

void ExportFlow::Export_Records(const QString &chosen, const ExportChoice &choice)
{
    const char separator = choice.localeSeparator ? decimalSeparatorFor(QLocale::system()) : '.';
    const std::vector<CsvOutput> outputs = exportOutputs(chosen, choice.kinds, t1_, t2_);
    const ExportResult r = writeCsvFiles(outputs, choice.withTime, separator);
    if (!r.written) {
        status_.set(StatusLine::Source::Export,
                    QDir::toNativeSeparators(r.path) + QStringLiteral(" could not be written: ") + r.error);
        return;
    }
    QStringList names;
    for (const CsvOutput &out : outputs)
        names << QDir::toNativeSeparators(out.path);
    status_.set(StatusLine::Source::Export,
                names.join(QStringLiteral(" and ")) +
                    (names.size() > 1 ? QStringLiteral(" have been written") : QStringLiteral(" has been written")));
}

} // namespace halcyra
