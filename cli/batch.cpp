// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "batch.h"

#include "csv.h"
#include "frame.h"

#include <algorithm>
#include <cassert>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include <csignal>
#include <pthread.h>

namespace halcyra {

// std::string would fill every byte it grows by before a line is written
// over it; this buffer leaves new room as it is.
class BatchDecoder::TextBuffer {
public:
    // Room for `n` more characters at the end; setEnd() takes what was written.
    char *room(std::size_t n)
    {
        if (capacity_ - size_ < n)
            grow(size_ + n);
        return data_.get() + size_;
    }
    void setEnd(const char *end) { size_ = static_cast<std::size_t>(end - data_.get()); }

    void append(std::string_view text)
    {
        if (text.empty())
            return;
        std::memcpy(room(text.size()), text.data(), text.size());
        size_ += text.size();
    }

    std::string_view view() const { return {data_.get(), size_}; }
    std::size_t size() const { return size_; }
    void clear() { size_ = 0; }

private:
    void grow(std::size_t needed)
    {
        const std::size_t capacity = std::max(needed, 2 * capacity_);
        auto data = std::make_unique_for_overwrite<char[]>(capacity);
        if (size_ > 0)
            std::memcpy(data.get(), data_.get(), size_);
        data_ = std::move(data);
        capacity_ = capacity;
    }

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

// One wanted output and the text that waits to be written, so that the sink
// gets no piece smaller than kFlushSize but the last.
class BatchDecoder::Output {
public:
    explicit Output(CsvSink *sink) : sink_(sink) {}

    TextBuffer &pending() { return pending_; }

    void flushIfFull()
    {
        if (pending_.size() >= kFlushSize)
            flush();
    }

    // A block's text, which follows what is pending: a large one goes out with
    // it in one write, straight from the block; a small one waits.
    void put(std::string_view text)
    {
        if (pending_.size() + text.size() < kFlushSize) {
            pending_.append(text);
            return;
        }
        sink_->write(pending_.view(), text);
        pending_.clear();
    }

    void flush()
    {
        if (pending_.size() > 0)
            sink_->write(pending_.view());
        pending_.clear();
    }

private:
    CsvSink *sink_;
    TextBuffer pending_;
};

// Decodes frames into CSV lines. Each thread has its own, as it keeps the
// record of each kind from frame to frame.
class BatchDecoder::Formatter {
public:
    explicit Formatter(const BatchSettings &settings) : settings_(settings) {}

    // Null texts are outputs not wanted: their frames are not decoded.
    void add(FrameKind kind, std::string_view frame, const FrameTimeText &frameTime, TextBuffer *t1, TextBuffer *t2)
    {
        const bool isT1 = kind == FrameKind::T1;
        TextBuffer *out = isT1 ? t1 : t2;
        if (!out)
            return;
        TelemetryRecord &record = isT1 ? t1Record_ : t2Record_;
        if (isT1)
            DecodeT1Frame(frame, record);
        else
            DecodeT2Frame(frame, record);
        record.FrameTime = frameTime;
        out->setEnd(
            writeCsvRecord(out->room(kCsvRecordCapacity), record, settings_.decimalSeparator, settings_.withTime));
    }

private:
    const BatchSettings &settings_;
    TelemetryRecord t1Record_;
    TelemetryRecord t2Record_;
};

struct BatchDecoder::Block {
    std::string text; // whole lines, each ended by "\n" alone
    FrameTimeText startTime;
    FrameTimeText endTime; // where the caller's scan left it: the next block's start
    TextBuffer t1;
    TextBuffer t2;
    FrameCounts counts;
    std::exception_ptr error;
    bool formatted = false; // guarded by Pipeline::mutex_ while the block is queued
};

// The caller's thread fills blocks with lines and writes the formatted ones in
// their order; the threads format them. Blocks are reused: two more than
// threads keep every thread busy while one block fills and one is written,
// and bound the memory whatever the log's length.
class BatchDecoder::Pipeline {
public:
    Pipeline(const BatchSettings &settings, Output *t1, Output *t2) : settings_(settings), t1_(t1), t2_(t2)
    {
        // Before any thread runs: a failure here must not leave one running.
        // A block takes its memory once it is filled.
        for (std::size_t i = 0; i < settings.threads + std::size_t{2}; ++i) {
            blocks_.push_back(std::make_unique<Block>());
            free_.push_back(blocks_.back().get());
        }
        // The signals that end the program are taken in the caller's thread
        // alone: commitAll() blocks them there while it replaces the files.
        sigset_t all;
        sigset_t old;
        sigfillset(&all);
        pthread_sigmask(SIG_SETMASK, &all, &old);
        for (unsigned i = 0; i < settings.threads; ++i) {
            try {
                threads_.emplace_back([this] { work(); });
            } catch (const std::system_error &) {
                break; // the threads the system gives are enough
            }
        }
        pthread_sigmask(SIG_SETMASK, &old, nullptr);
    }

    ~Pipeline() { stop(); }

    unsigned threads() const { return static_cast<unsigned>(threads_.size()); }
    const FrameCounts &counts() const { return counts_; }

    void addLine(std::string_view line)
    {
        if (!filling_) {
            filling_ = takeFree();
            filling_->text.clear();
            filling_->startTime = scan_.CurrentFrameTime;
        }
        filling_->text.append(line);
        filling_->text.push_back('\n');
        // The frame time is the only thing a line hands on to the next, and
        // only the time column shows it.
        if (settings_.withTime)
            scan_.parse(line);
        if (filling_->text.size() >= settings_.blockSize)
            submit();
    }

    void finish()
    {
        if (filling_)
            submit();
        while (!order_.empty())
            writeFormatted(true);
        stop();
    }

private:
    Block *takeFree()
    {
        if (free_.empty())
            writeFormatted(true);
        Block *block = free_.back();
        free_.pop_back();
        return block;
    }

    void submit()
    {
        Block *block = std::exchange(filling_, nullptr);
        block->endTime = scan_.CurrentFrameTime;
        block->formatted = false;
        order_.push_back(block);
        {
            const std::lock_guard lock(mutex_);
            queue_.push_back(block);
        }
        workReady_.notify_one();
        writeFormatted(false);
    }

    // Writes the blocks formatted so far, in order; with `wait`, waits for the
    // oldest one at least.
    void writeFormatted(bool wait)
    {
        while (!order_.empty()) {
            Block *block = order_.front();
            {
                std::unique_lock lock(mutex_);
                if (!block->formatted) {
                    if (!wait)
                        return;
                    blockFormatted_.wait(lock, [block] { return block->formatted; });
                }
            }
            wait = false;
            order_.pop_front();
            free_.push_back(block);
            if (block->error)
                std::rethrow_exception(block->error);
            if (t1_)
                t1_->put(block->t1.view());
            if (t2_)
                t2_->put(block->t2.view());
            counts_.t1Frames += block->counts.t1Frames;
            counts_.t2Frames += block->counts.t2Frames;
            counts_.t1WrongLength += block->counts.t1WrongLength;
            counts_.t2WrongLength += block->counts.t2WrongLength;
        }
    }

    void work()
    {
        Formatter formatter(settings_);
        for (;;) {
            Block *block = nullptr;
            {
                std::unique_lock lock(mutex_);
                workReady_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
                if (stopping_)
                    return;
                block = queue_.front();
                queue_.pop_front();
            }
            try {
                format(*block, formatter);
            } catch (...) {
                block->error = std::current_exception();
            }
            {
                const std::lock_guard lock(mutex_);
                block->formatted = true;
            }
            blockFormatted_.notify_one();
        }
    }

    void format(Block &block, Formatter &formatter)
    {
        block.t1.clear();
        block.t2.clear();
        TextBuffer *t1 = t1_ ? &block.t1 : nullptr;
        TextBuffer *t2 = t2_ ? &block.t2 : nullptr;
        LogScanner scanner(block.startTime);
        forEachCompleteLine(block.text, [&](std::string_view line) {
            scanner.scan(line, [&](FrameKind kind, std::string_view frame, const FrameTimeText &frameTime) {
                formatter.add(kind, frame, frameTime, t1, t2);
            });
        });
        block.counts = scanner.counts();
        assert(!settings_.withTime || scanner.frameTime() == block.endTime);
    }

    void stop()
    {
        {
            const std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        workReady_.notify_all();
        for (std::thread &thread : threads_) {
            if (thread.joinable())
                thread.join();
        }
    }

    const BatchSettings &settings_;
    Output *t1_;
    Output *t2_;
    std::vector<std::thread> threads_;
    std::vector<std::unique_ptr<Block>> blocks_;

    // The caller's thread alone.
    LineParser scan_;
    Block *filling_ = nullptr;
    std::vector<Block *> free_;
    std::deque<Block *> order_; // handed to the threads, oldest first
    FrameCounts counts_;

    std::mutex mutex_;
    std::condition_variable workReady_;
    std::condition_variable blockFormatted_;
    std::deque<Block *> queue_; // not yet taken by a thread
    bool stopping_ = false;
};

BatchDecoder::BatchDecoder(const BatchSettings &settings, CsvSink *t1Sink, CsvSink *t2Sink)
    : settings_(settings), splitter_(settings.maxLineLength), formatter_(std::make_unique<Formatter>(settings_))
{
    std::string header;
    appendCsvHeader(header, settings_.withTime);
    for (auto [out, sink] : {std::pair{&t1_, t1Sink}, std::pair{&t2_, t2Sink}}) {
        if (!sink)
            continue;
        *out = std::make_unique<Output>(sink);
        (*out)->pending().append(header);
    }
    if (settings_.threads > 0) {
        pipeline_ = std::make_unique<Pipeline>(settings_, t1_.get(), t2_.get());
        if (pipeline_->threads() == 0)
            pipeline_.reset();
    }
}

BatchDecoder::~BatchDecoder() = default;

void BatchDecoder::feed(std::string_view chunk)
{
    if (pipeline_)
        splitter_.feed(chunk, [this](std::string_view line) { pipeline_->addLine(line); });
    else
        splitter_.feed(chunk, [this](std::string_view line) { decodeLine(line); });
}

void BatchDecoder::finish()
{
    if (pipeline_) {
        splitter_.finish([this](std::string_view line) { pipeline_->addLine(line); });
        pipeline_->finish();
    } else {
        splitter_.finish([this](std::string_view line) { decodeLine(line); });
    }
    for (Output *out : {t1_.get(), t2_.get()}) {
        if (out)
            out->flush();
    }
}

const FrameCounts &BatchDecoder::counts() const
{
    return pipeline_ ? pipeline_->counts() : scanner_.counts();
}

unsigned BatchDecoder::threads() const
{
    return pipeline_ ? pipeline_->threads() : 0;
}

void BatchDecoder::decodeLine(std::string_view line)
{
    scanner_.scan(line, [this](FrameKind kind, std::string_view frame, const FrameTimeText &frameTime) {
        formatter_->add(kind, frame, frameTime, t1_ ? &t1_->pending() : nullptr, t2_ ? &t2_->pending() : nullptr);
        if (Output *out = (kind == FrameKind::T1 ? t1_ : t2_).get())
            out->flushIfFull();
    });
}

} // namespace halcyra
