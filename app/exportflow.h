// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "csvexport.h"

#include <QString>

#include <optional>

class QWidget;

namespace halcyra {

class Settings;
class StatusLine;

// TLM File's writing: the CSV file of old beside the program, and Export
// Records, which asks what to write and where, remembers the answers for the
// next time, and writes. What came of it goes to the status line.
class ExportFlow {
public:
    ExportFlow(const RecordStore &t1, const RecordStore &t2, Settings &settings, StatusLine &status, QWidget *window);

    // The T1 records into the program's CSV file in `outputFolder`.
    void writeCsvFile(const QString &outputFolder);
    // Through the dialogs; the file name offered is taken from `logPath`, the opened log.
    void exportRecords(const QString &logPath);
    // Writes what the dialogs chose.
    void Export_Records(const QString &chosen, const ExportChoice &choice);

private:
    std::optional<ExportChoice> askChoice();
    QString askFile(const ExportChoice &choice, const QString &logPath);
    bool mayReplace(const QString &chosen, const ExportChoice &choice);

    const RecordStore &t1_;
    const RecordStore &t2_;
    Settings &settings_;
    StatusLine &status_;
    QWidget *window_;
};

} // namespace halcyra
