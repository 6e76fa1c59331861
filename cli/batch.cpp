// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "batch.h"

#include "csv.h"
#include "frame.h"

#include <utility>

namespace halcyra {

BatchDecoder::BatchDecoder(const BatchSettings &settings, CsvSink *t1Sink, CsvSink *t2Sink)
    : settings_(settings), t1Sink_(t1Sink), t2Sink_(t2Sink), splitter_(settings.maxLineLength)
{
    // Room for a full buffer plus the line that tips it over: no reallocation.
    for (auto [buffer, sink] : {std::pair{&t1Buffer_, t1Sink_}, std::pair{&t2Buffer_, t2Sink_}}) {
        if (!sink)
            continue;
        buffer->reserve(kFlushSize + 4096);
        appendCsvHeader(*buffer, settings_.withTime);
    }
}

void BatchDecoder::feed(std::string_view chunk)
{
    splitter_.feed(chunk, [this](std::string_view line) { decodeLine(line); });
}

void BatchDecoder::finish()
{
    splitter_.finish([this](std::string_view line) { decodeLine(line); });
    if (t1Sink_ && !t1Buffer_.empty())
        t1Sink_->write(t1Buffer_);
    if (t2Sink_ && !t2Buffer_.empty())
        t2Sink_->write(t2Buffer_);
    t1Buffer_.clear();
    t2Buffer_.clear();
}

void BatchDecoder::decodeLine(std::string_view line)
{
    scanner_.scan(line, [this](FrameKind kind, std::string_view frame, const FrameTimeText &frameTime) {
        writeFrame(kind, frame, frameTime);
    });
}

void BatchDecoder::writeFrame(FrameKind kind, std::string_view frame, const FrameTimeText &frameTime)
{
    const bool t1 = kind == FrameKind::T1;
    CsvSink *sink = t1 ? t1Sink_ : t2Sink_;
    if (!sink) // only the frames of a wanted output are decoded
        return;
    TelemetryRecord &record = t1 ? t1Record_ : t2Record_;
    std::string &buffer = t1 ? t1Buffer_ : t2Buffer_;
    if (t1)
        DecodeT1Frame(frame, record);
    else
        DecodeT2Frame(frame, record);
    record.FrameTime = frameTime;
    appendCsvRecord(buffer, record, settings_.decimalSeparator, settings_.withTime);
    flushIfFull(buffer, sink);
}

void BatchDecoder::flushIfFull(std::string &buffer, CsvSink *sink)
{
    if (buffer.size() < kFlushSize)
        return;
    sink->write(buffer);
    buffer.clear();
}

} // namespace halcyra
