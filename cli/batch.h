// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "lines.h"
#include "parser.h"
#include "record.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace halcyra {

// Where the CSV text of one output goes, in pieces of about
// BatchDecoder::kFlushSize.
class CsvSink {
public:
    virtual ~CsvSink() = default;
    virtual void write(std::string_view text) = 0;
};

struct BatchSettings {
    bool withTime = false;
    char decimalSeparator = '.';
    // Far beyond any line a receiver writes; see LineSplitter.
    std::size_t maxLineLength = std::size_t{1} << 20;
};

// Decodes a log of any length with the window's line rules and writes each
// frame kind as the window's CSV lines, as the text arrives. Memory stays the
// same whatever the log's size: one record per frame kind is reused, and only
// a line that spans two chunks and one buffer per output are held.
//
// The whole input is one text: the frame time carries over from one chunk (and
// one file) to the next, starting empty, and so does a line end split between
// chunks. Only frames of an output that is wanted are decoded.
class BatchDecoder {
public:
    static constexpr std::size_t kFlushSize = 64 * 1024;

    // The header lines are written at once; null sinks are outputs not wanted.
    BatchDecoder(const BatchSettings &settings, CsvSink *t1Sink, CsvSink *t2Sink);

    void feed(std::string_view chunk);
    // Ends the text: decodes its last line and hands out what is buffered.
    void finish();

    const FrameCounts &counts() const { return scanner_.counts(); }
    // Lines skipped as longer than BatchSettings::maxLineLength.
    std::uint64_t overlongLines() const { return splitter_.overlongLines(); }

private:
    void decodeLine(std::string_view line);
    void writeFrame(FrameKind kind, std::string_view frame, const FrameTimeText &frameTime);
    void flushIfFull(std::string &buffer, CsvSink *sink);

    BatchSettings settings_;
    CsvSink *t1Sink_;
    CsvSink *t2Sink_;
    LineSplitter splitter_;
    LogScanner scanner_;
    TelemetryRecord t1Record_;
    TelemetryRecord t2Record_;
    std::string t1Buffer_;
    std::string t2Buffer_;
};

} // namespace halcyra
