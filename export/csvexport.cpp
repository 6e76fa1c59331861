// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "csvexport.h"

#include "csv.h"

#include <QSaveFile>

namespace halcyra {

ExportResult writeCsvFile(const QString &path, const RecordStore &t1Store, char decimalSeparator)
{
    std::string text;
    text.reserve(static_cast<std::size_t>(t1Store.count + 1) * 600);
    appendCsvHeader(text, false);
    for (int k = 1; k <= t1Store.count; ++k)
        appendCsvRecord(text, t1Store.records[static_cast<std::size_t>(k)], decimalSeparator, false);

    ExportResult result;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.errorString();
        return result;
    }
    if (file.write(text.data(), static_cast<qint64>(text.size())) != static_cast<qint64>(text.size())) {
        result.error = file.errorString();
        file.cancelWriting();
        return result;
    }
    if (!file.commit()) {
        result.error = file.errorString();
        return result;
    }
    result.written = true;
    return result;
}

} // namespace halcyra
