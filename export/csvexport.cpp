// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "csvexport.h"

#include "csv.h"

#include <QFileInfo>
#include <QSaveFile>

#include <memory>

namespace halcyra {

namespace {

std::string csvText(const RecordStore &store, bool withTime, char decimalSeparator)
{
    std::string text;
    text.reserve(static_cast<std::size_t>(store.count + 1) * 600);
    appendCsvHeader(text, withTime);
    for (int k = 1; k <= store.count; ++k)
        appendCsvRecord(text, store.records[static_cast<std::size_t>(k)], decimalSeparator, withTime);
    return text;
}

// Why `text` could not go into the open file; empty once all of it is there.
QString writeAll(QSaveFile &file, const std::string &text)
{
    // A nearly full disk takes what fits without complaint; asked for the
    // rest, the system says why it cannot.
    for (std::size_t done = 0; done < text.size();) {
        const qint64 n = file.write(text.data() + done, static_cast<qint64>(text.size() - done));
        if (n <= 0)
            return file.errorString();
        done += static_cast<std::size_t>(n);
    }
    return {};
}

QString withKind(const QString &path, const char *kind)
{
    const QString suffix = QFileInfo(path).suffix();
    const QString tag = QLatin1Char('-') + QLatin1String(kind);
    return suffix.isEmpty() ? path + tag : path.chopped(suffix.size() + 1) + tag + QLatin1Char('.') + suffix;
}

} // namespace

ExportResult writeCsvFile(const QString &path, const RecordStore &t1Store, char decimalSeparator)
{
    return writeCsvFiles({{path, &t1Store}}, false, decimalSeparator);
}

std::vector<CsvOutput> exportOutputs(const QString &chosen, RecordKinds kinds, const RecordStore &t1Store,
                                     const RecordStore &t2Store)
{
    switch (kinds) {
    case RecordKinds::T1:
        return {{chosen, &t1Store}};
    case RecordKinds::T2:
        return {{chosen, &t2Store}};
    case RecordKinds::Both:
        break;
    }
    return {{withKind(chosen, "t1"), &t1Store}, {withKind(chosen, "t2"), &t2Store}};
}

ExportResult writeCsvFiles(const std::vector<CsvOutput> &outputs, bool withTime, char decimalSeparator)
{
    ExportResult result;
    std::vector<std::unique_ptr<QSaveFile>> files;
    for (const CsvOutput &out : outputs) {
        auto &file = files.emplace_back(std::make_unique<QSaveFile>(out.path));
        // Unbuffered: a buffered text that the disk takes only in part would be
        // committed as if it were whole.
        QString error = file->open(QIODevice::WriteOnly | QIODevice::Unbuffered)
                            ? writeAll(*file, csvText(*out.store, withTime, decimalSeparator))
                            : file->errorString();
        if (!error.isEmpty()) {
            result.path = out.path;
            result.error = error;
            return result; // the files discard what they hold
        }
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (!files[i]->commit()) {
            result.path = outputs[i].path;
            result.error = files[i]->errorString();
            return result;
        }
    }
    result.written = true;
    return result;
}

} // namespace halcyra
