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

BatchCounts BatchDecoder::counts() const
{
    BatchCounts c = counts_;
    c.overlongLines = splitter_.overlongLines();
    return c;
}

void BatchDecoder::decodeLine(std::string_view line)
{
    const LineOutcome out = parser_.parse(line);
    switch (out.frame) {
    case LineFrame::None:
        break;
    case LineFrame::T1:
        ++counts_.t1Frames;
        if (t1Sink_) {
            DecodeT1Frame(out.frameText, t1Record_);
            writeRecord(t1Record_, t1Buffer_, t1Sink_);
        }
        break;
    case LineFrame::T2:
        ++counts_.t2Frames;
        if (t2Sink_) {
            DecodeT2Frame(out.frameText, t2Record_);
            writeRecord(t2Record_, t2Buffer_, t2Sink_);
        }
        break;
    case LineFrame::T1WrongLength:
        ++counts_.t1WrongLength;
        break;
    case LineFrame::T2WrongLength:
        ++counts_.t2WrongLength;
        break;
    }
}

void BatchDecoder::writeRecord(TelemetryRecord &record, std::string &buffer, CsvSink *sink)
{
    record.FrameTime = parser_.CurrentFrameTime;
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
