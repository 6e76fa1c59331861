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
    // Unbuffered: a buffered text that the disk takes only in part would be
    // committed as if it were whole.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        result.error = file.errorString();
        return result;
    }
    // A nearly full disk takes what fits without complaint; asked for the
    // rest, the system says why it cannot.
    for (std::size_t done = 0; done < text.size();) {
        const qint64 n = file.write(text.data() + done, static_cast<qint64>(text.size() - done));
        if (n <= 0) {
            result.error = file.errorString();
            file.cancelWriting();
            return result;
        }
        done += static_cast<std::size_t>(n);
    }
    if (!file.commit()) {
        result.error = file.errorString();
        return result;
    }
    result.written = true;
    return result;
}

} // namespace halcyra
