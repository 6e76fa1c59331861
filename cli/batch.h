// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "lines.h"
#include "parser.h"
#include "record.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>

namespace halcyra {

// Where the CSV text of one output goes, in pieces of at least
// BatchDecoder::kFlushSize but the last.
class CsvSink {
public:
    virtual ~CsvSink() = default;
    virtual void write(std::string_view text) = 0;
    // Two pieces that follow each other: a file takes them without joining
    // them first.
    virtual void write(std::string_view first, std::string_view second)
    {
        if (!first.empty())
            write(first);
        if (!second.empty())
            write(second);
    }
};

struct BatchSettings {
    bool withTime = false;
    char decimalSeparator = '.';
    // Far beyond any line a receiver writes; see LineSplitter.
    std::size_t maxLineLength = std::size_t{1} << 20;
    // Threads that decode and format blocks of the log while the caller
    // splits and writes; 0 decodes every line in the caller's thread.
    unsigned threads = 0;
    // Log text per block; a block ends at the first line end after it. Large
    // enough that handing it over costs nothing, small enough that the blocks
    // in flight, with their CSV text, hold a few MB.
    std::size_t blockSize = std::size_t{1} << 19;
};

// Decodes a log of any length with the window's line rules and writes each
// frame kind as the window's CSV lines, as the text arrives. Memory stays the
// same whatever the log's size: a few blocks of lines and one buffer per
// output are held and reused.
//
// The whole input is one text: the frame time carries over from one chunk (and
// one file) to the next, starting empty, and so does a line end split between
// chunks. Only frames of an output that is wanted are decoded.
//
// With threads, the caller's thread splits the text into blocks of whole
// lines and, for the time column, runs the line parser over them for the
// frame time alone, so that every block knows the frame time in force at its
// start; the threads decode and format whole blocks, and the caller writes
// them in their order. The bytes, the counts and the frame time of every
// record are those of the single thread.
class BatchDecoder {
public:
    // The text handed to a sink at once, but the last of each output: few
    // enough writes that their cost vanishes (see OutputFile::write).
    static constexpr std::size_t kFlushSize = std::size_t{256} << 10;

    // The header lines are written at once; null sinks are outputs not wanted.
    BatchDecoder(const BatchSettings &settings, CsvSink *t1Sink, CsvSink *t2Sink);
    ~BatchDecoder();
    BatchDecoder(const BatchDecoder &) = delete;
    BatchDecoder &operator=(const BatchDecoder &) = delete;

    void feed(std::string_view chunk);
    // Ends the text: decodes its last line and hands out what is buffered.
    void finish();

    // Complete after finish().
    const FrameCounts &counts() const;
    // Lines skipped as longer than BatchSettings::maxLineLength, as fed so far.
    std::uint64_t overlongLines() const { return splitter_.overlongLines(); }

    // Threads actually running: fewer than asked for when the system refuses
    // more, none when it refuses all (the caller's thread then decodes).
    unsigned threads() const;

private:
    class TextBuffer;
    class Output;
    class Formatter;
    struct Block;
    class Pipeline;

    void decodeLine(std::string_view line);

    BatchSettings settings_;
    std::unique_ptr<Output> t1_;
    std::unique_ptr<Output> t2_;
    LineSplitter splitter_;
    // Without threads: the line rules and the decoding, in the caller's thread.
    LogScanner scanner_;
    std::unique_ptr<Formatter> formatter_;
    std::unique_ptr<Pipeline> pipeline_;
};

} // namespace halcyra
