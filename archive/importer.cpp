// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "importer.h"

#include "frame.h"

#include <algorithm>
#include <utility>

namespace halcyra::archive {

LogImporter::LogImporter(Archive &archive, ImportOptions options)
    : archive_(archive), options_(std::move(options)), splitter_(options_.maxLineLength)
{
    options_.batchFrames = std::max<std::size_t>(options_.batchFrames, 1);
    clock_.setFallbackDay(options_.fallbackDay);
    queue_.reserve(options_.batchFrames);
}

void LogImporter::feed(std::string_view chunk)
{
    if (options_.now)
        clock_.setNow(options_.now());
    archiving_ = true;
    splitter_.feed(chunk, [this](std::string_view line) { scanLine(line); });
}

void LogImporter::skip(std::string_view chunk)
{
    if (options_.now)
        clock_.setNow(options_.now());
    archiving_ = false;
    splitter_.feed(chunk, [this](std::string_view line) { scanLine(line); });
    archiving_ = true;
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
    splitter_.finish([this](std::string_view line) { scanLine(line); });
    flush();
}

void LogImporter::scanLine(std::string_view line)
{
    struct Seen {
        FrameKind kind;
        std::string_view text;
        const FrameTimeText *frameTime;
    };
    std::optional<Seen> seen;
    const LineOutcome outcome =
        scanner_.scan(line, [&](FrameKind kind, std::string_view text, const FrameTimeText &frameTime) {
            seen = Seen{kind, text, &frameTime};
        });
    // The line's own stamp dates a frame on the same line ("[10:15:18R] T1...").
    clock_.observe(outcome);
    if (!seen || !archiving_)
        return;

    ArchiveFrame &frame = queue_.emplace_back();
    frame.kind = seen->kind;
    const std::string_view payload = seen->text.substr(2);
    frame.payloadLength = static_cast<std::uint8_t>(std::min(payload.size(), frame.payload.size()));
    std::copy_n(payload.begin(), frame.payloadLength, frame.payload.begin());
    if (seen->kind == FrameKind::T1)
        DecodeT1Frame(seen->text, frame.record);
    else
        DecodeT2Frame(seen->text, frame.record);
    frame.record.FrameTime = *seen->frameTime;
    frame.received = clock_.received();
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
