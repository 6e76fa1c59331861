// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "archiveio.h"

#include "csv.h"
#include "outputset.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <utility>
#include <vector>

#include <unistd.h>

namespace halcyra {

namespace {

// A log's name as the archive keeps it: a path that still tells the file
// when the archive is read from another folder.
std::string sourceOf(const std::string &log)
{
    if (log == "-")
        return "standard input";
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(log, error);
    return error ? log : absolute.lexically_normal().string();
}

} // namespace

std::string archiveLocation(const DecodeOptions::ArchiveChoice &choice)
{
    return choice.location.empty() ? archive::defaultArchiveLocation() : choice.location;
}

std::string checkArchiveFiles(const DecodeOptions &o)
{
    // "--archive my.sqlite pass.log" reads the archive as a log and adds the
    // frames to the default archive: the user's frames would go elsewhere.
    for (const std::string &log : o.logs) {
        if (archive::namesArchive(log)) {
            const std::string shown = archive::displayLocation(log);
            return shown + " is an archive, not a log: name it as --archive=" + shown + " to add logs to it, or as " +
                   "--from-archive=" + shown + " to read it";
        }
    }
    const DecodeOptions::ArchiveChoice &choice = o.archive.given ? o.archive : o.fromArchive;
    if (!choice.given)
        return {};
    const std::string location = archiveLocation(choice);
    if (location.empty() || archive::backendOf(location) != archive::Backend::File)
        return {};
    // Replacing the archive with a CSV file would lose every frame in it.
    const FileIdentity archiveFile = identifyFile(location, -1);
    for (const auto &[option, path] : {std::pair{"--t1", &o.t1Path}, std::pair{"--t2", &o.t2Path}}) {
        if (!path->empty() && sameFile(archiveFile, identifyFile(*path, STDOUT_FILENO)))
            return (*path == "-" ? std::string("standard output") : option) + " names the archive: " + location;
    }
    return {};
}

std::unique_ptr<ArchiveImport> ArchiveImport::open(const DecodeOptions &options)
{
    archive::ImportOptions importOptions;
    importOptions.origin.station = archive::stationName(options.station).name; // checked with the command line
    if (!options.date.empty())
        importOptions.fallbackDay = parseDate(options.date); // checked with the command line
    try {
        auto archive = archive::openArchive(archiveLocation(options.archive));
        return std::unique_ptr<ArchiveImport>(new ArchiveImport(std::move(archive), importOptions));
    } catch (const archive::ArchiveError &error) {
        message(error.what());
        return nullptr;
    }
}

ArchiveImport::ArchiveImport(std::unique_ptr<archive::Archive> archive, const archive::ImportOptions &options)
    : archive_(std::move(archive)), station_(options.origin.station), importer_(*archive_, options)
{}

void ArchiveImport::failed(const archive::ArchiveError &error)
{
    // The CSV decoding goes on; the archive is not written to again, so the
    // message stays the only one.
    failed_ = true;
    message(error.what());
}

void ArchiveImport::beginLog(const std::string &name)
{
    if (failed_)
        return;
    try {
        importer_.setOrigin({sourceOf(name), station_});
    } catch (const archive::ArchiveError &error) {
        failed(error);
    }
}

void ArchiveImport::feed(std::string_view chunk)
{
    if (failed_)
        return;
    try {
        importer_.feed(chunk);
    } catch (const archive::ArchiveError &error) {
        failed(error);
    }
}

bool ArchiveImport::finish()
{
    if (!failed_) {
        try {
            importer_.finish();
        } catch (const archive::ArchiveError &error) {
            failed(error);
        }
    }
    const archive::AddCounts &c = importer_.counts();
    std::fprintf(stderr, "%llu new T1 frames, %llu already archived; %llu new T2 frames, %llu already archived\n",
                 static_cast<unsigned long long>(c.t1.added), static_cast<unsigned long long>(c.t1.present),
                 static_cast<unsigned long long>(c.t2.added), static_cast<unsigned long long>(c.t2.present));
    std::fflush(stderr);
    return !failed_;
}

int writeFromArchive(const DecodeOptions &options, const BatchSettings &settings, bool outputClosed)
{
    std::unique_ptr<archive::Archive> archive;
    try {
        archive = archive::openArchiveToRead(archiveLocation(options.fromArchive));
    } catch (const archive::ArchiveError &error) {
        message(error.what());
        return 1;
    }
    archive::TimeRange range;
    if (!options.since.empty())
        range.since = parseUtcTime(options.since); // checked with the command line
    if (!options.until.empty())
        range.until = parseUtcTime(options.until);

    OutputSet outputs;
    if (!outputs.open(options, outputClosed))
        return 1;
    int status = 0;
    try {
        std::string buffer;
        for (const FrameKind kind : {FrameKind::T1, FrameKind::T2}) {
            OutputFile *const out = outputs.file(kind);
            if (!out)
                continue;
            buffer.clear();
            appendCsvHeader(buffer, settings.withTime);
            archive->forEachRecord(kind, range, [&](const archive::StoredRecord &stored) {
                appendCsvRecord(buffer, stored.record, settings.decimalSeparator, settings.withTime);
                if (buffer.size() >= BatchDecoder::kFlushSize) {
                    out->write(buffer);
                    buffer.clear();
                }
                return !out->failed(); // no use reading on
            });
            out->write(buffer);
        }
    } catch (const archive::ArchiveError &error) {
        message(error.what());
        status = 1;
    }
    return outputs.settle(status, false);
}

} // namespace halcyra
