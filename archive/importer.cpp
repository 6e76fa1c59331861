// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "importer.h"

#include "frame.h"

#include <algorithm>
#include <utility>

namespace halcyra::archive {

ArchiveFrame decodeFrame(const LoggedFrame &logged)
{
    ArchiveFrame frame;
    frame.kind = logged.kind;
    const std::string_view payload = logged.view().substr(2);
    frame.payloadLength = static_cast<std::uint8_t>(std::min(payload.size(), frame.payload.size()));
    std::copy_n(payload.begin(), frame.payloadLength, frame.payload.begin());
    if (logged.kind == FrameKind::T1)
        DecodeT1Frame(logged.view(), frame.record);
    else
        DecodeT2Frame(logged.view(), frame.record);
    frame.record.FrameTime = logged.frameTime;
    frame.received = logged.received;
    frame.ax25 = logged.ax25;
    return frame;
}

FrameReader::FrameReader(const ImportOptions &options) : now_(options.now), splitter_(options.maxLineLength)
{
    clock_.setFallbackDay(options.fallbackDay);
}

bool FrameReader::scanLine(std::string_view line)
{
    bool seen = false;
    const LineOutcome outcome =
        scanner_.scan(line, [&](FrameKind kind, std::string_view text, const FrameTimeText &frameTime) {
            seen = true;
            frame_.kind = kind;
            frame_.length = static_cast<std::uint8_t>(std::min(text.size(), frame_.text.size()));
            std::copy_n(text.begin(), frame_.length, frame_.text.begin());
            frame_.frameTime = frameTime;
        });
    // The line's own stamp dates a frame on the same line ("[10:15:18R] T1...").
    clock_.observe(outcome);
    if (seen)
        frame_.received = clock_.received();
    return seen;
}

LogImporter::LogImporter(Archive &archive, ImportOptions options)
    : archive_(archive), options_(std::move(options)), reader_(options_)
{
    options_.batchFrames = std::max<std::size_t>(options_.batchFrames, 1);
    queue_.reserve(options_.batchFrames);
}

void LogImporter::feed(std::string_view chunk)
{
    reader_.feed(chunk, [this](const LoggedFrame &frame) { take(frame); });
}

void LogImporter::skip(std::string_view chunk)
{
    reader_.feed(chunk, [](const LoggedFrame &) {});
}

void LogImporter::flush()
{
    if (queue_.empty())
        return;
    counts_ += archive_.add(queue_, options_.origin);
    queue_.clear();
}

void LogImporter::setOrigin(Origin origin)
{
    flush();
    options_.origin = std::move(origin);
}

void LogImporter::finish()
{
    reader_.finish([this](const LoggedFrame &frame) { take(frame); });
    flush();
}

void LogImporter::take(const LoggedFrame &frame)
{
    queue_.push_back(decodeFrame(frame));
    if (queue_.size() >= options_.batchFrames)
        flush();
}

TextImport importText(Archive &archive, std::string_view text, const ImportOptions &options,
                      const ImportProgress &progress)
{
    LogImporter importer(archive, options);
    TextImport result;
    for (std::size_t at = 0; at < text.size(); at += kProgressSlice) {
        if (progress && !progress(at, text.size())) {
            result.cancelled = true;
            break;
        }
        importer.feed(text.substr(at, kProgressSlice));
    }
    if (!result.cancelled) {
        importer.finish();
        if (progress)
            progress(text.size(), text.size());
    }
    result.counts = importer.counts();
    result.lines = importer.lines();
    return result;
}

} // namespace halcyra::archive
