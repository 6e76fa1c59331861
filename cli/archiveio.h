// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "archive.h"
#include "batch.h"
#include "importer.h"
#include "options.h"

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

// The archive location the options name: the given file, or the default one.
std::string archiveLocation(const DecodeOptions::ArchiveChoice &choice);

// A usage error when an output would replace the archive, or the archive is
// one of the logs; otherwise an empty text.
std::string checkArchiveFiles(const DecodeOptions &options);

// --archive: the frames of the logs into the archive, from the very chunks
// the CSV decoding reads, so that both see one reading of the input.
class ArchiveImport {
public:
    // Opens the archive the options name; null once the reason is printed.
    static std::unique_ptr<ArchiveImport> open(const DecodeOptions &options);

    // The frames from here on come from this log ("-": standard input).
    void beginLog(const std::string &name);
    void feed(std::string_view chunk);
    // Ends the text and prints the counts; false when the archive failed, which
    // is printed as it happens. The batches written before a failure stay.
    bool finish();

private:
    ArchiveImport(std::unique_ptr<archive::Archive> archive, const archive::ImportOptions &options);

    void failed(const archive::ArchiveError &error);

    std::unique_ptr<archive::Archive> archive_;
    std::string station_;
    archive::LogImporter importer_;
    bool failed_ = false;
};

// --from-archive: writes the archived records as the CSV files the options
// name, each kind by receive time, with the same all-or-nothing replacement
// as decoding. `outputClosed`: standard output was closed when the program
// started. Returns the exit status.
int writeFromArchive(const DecodeOptions &options, const BatchSettings &settings, bool outputClosed);

} // namespace halcyra
