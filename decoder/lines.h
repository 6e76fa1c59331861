// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "scan.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <string>
#include <string_view>

namespace halcyra {

// The line-end rule of every log reader (the window's cycle, the batch
// decoder, the follower, conf.ini): lines end at CR LF, at a lone LF and at a
// lone CR; an empty text has no lines, and a text that ends without a line end
// still has its last line. Receivers write all three line ends.

inline bool isLineEnd(char c)
{
    return c == '\n' || c == '\r';
}

// Length of the line end at text[at], which is a CR or an LF.
inline std::size_t lineEndLength(std::string_view text, std::size_t at)
{
    return text[at] == '\r' && at + 1 < text.size() && text[at + 1] == '\n' ? 2 : 1;
}

// Calls fn(line) for every line that a line end in `text` completes and
// returns the rest: the start of a line that has no line end yet.
template <typename Fn> std::string_view forEachCompleteLine(std::string_view text, Fn &&fn)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    while (i < n) {
        const std::size_t end = i + detail::findEither(text.data() + i, n - i, '\n', '\r');
        if (end == n)
            break;
        fn(text.substr(i, end - i));
        i = end + lineEndLength(text, end);
    }
    return text.substr(i);
}

// Calls fn(line) for every line of `text`.
template <typename Fn> void forEachLine(std::string_view text, Fn &&fn)
{
    if (const std::string_view rest = forEachCompleteLine(text, fn); !rest.empty())
        fn(rest);
}

// The last line of `text` while it has no line end (a followed file in the
// middle of a write); nothing when the text ends with a line end or is empty.
inline std::optional<std::string_view> unfinishedLastLine(std::string_view text)
{
    if (text.empty() || isLineEnd(text.back()))
        return std::nullopt;
    const std::size_t end = text.find_last_of("\r\n");
    return end == std::string_view::npos ? text : text.substr(end + 1);
}

// A text that arrives in pieces (reads of a file, appends to a followed log):
// a CR that ends one piece and an LF that starts the next are one line end, so
// that LF is taken off the next piece.
class LineEndJoin {
public:
    std::string_view take(std::string_view piece)
    {
        if (piece.empty())
            return piece;
        const bool completesCr = pendingCr_ && piece.front() == '\n';
        pendingCr_ = piece.back() == '\r';
        return piece.substr(completesCr ? 1 : 0);
    }
    // Starts over, after a text that ended with CR or not.
    void reset(bool endedWithCr = false) { pendingCr_ = endedWithCr; }

private:
    bool pendingCr_ = false;
};

// Splits a text that arrives in chunks of any size into the same lines as
// forEachLine gives for the whole text. Only a line that spans chunks is copied; the others are handed out as
// views into the chunk.
//
// A line longer than `maxLineLength` is not handed out at all but counted in
// overlongLines(): without a limit a text with no line ends (a binary file,
// /dev/zero) would be held whole.
class LineSplitter {
public:
    static constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();

    explicit LineSplitter(std::size_t maxLineLength = kUnlimited) : maxLineLength_(maxLineLength) {}

    // Calls fn(std::string_view line) for every line the chunk completes.
    template <typename Fn> void feed(std::string_view chunk, Fn &&fn)
    {
        const std::string_view rest = forEachCompleteLine(join_.take(chunk), [&](std::string_view line) {
            if (inLine_) {
                keep(line);
                endKeptLine(fn);
            } else if (line.size() > maxLineLength_) {
                ++overlong_;
            } else {
                fn(line);
            }
        });
        if (!rest.empty())
            keep(rest);
    }

    // Hands out the last line when the text does not end with a line end.
    template <typename Fn> void finish(Fn &&fn)
    {
        if (inLine_)
            endKeptLine(fn);
        join_.reset();
    }

    std::uint64_t overlongLines() const { return overlong_; }

    // The line begun and not yet ended, when it is not being skipped as too long.
    std::string_view unfinished() const { return inLine_ && !dropping_ ? std::string_view(kept_) : std::string_view(); }

private:
    void keep(std::string_view piece)
    {
        inLine_ = true;
        if (dropping_)
            return;
        if (piece.size() > maxLineLength_ - kept_.size()) {
            dropping_ = true;
            std::string().swap(kept_);
            return;
        }
        kept_.append(piece);
    }

    template <typename Fn> void endKeptLine(Fn &&fn)
    {
        if (dropping_)
            ++overlong_;
        else
            fn(std::string_view(kept_));
        kept_.clear();
        inLine_ = false;
        dropping_ = false;
    }

    std::size_t maxLineLength_;
    std::string kept_;      // the start of a line that the next chunk continues
    bool inLine_ = false;   // a line has begun and not yet ended (kept_ may be empty)
    bool dropping_ = false; // the line begun is too long and is being skipped
    LineEndJoin join_;
    std::uint64_t overlong_ = 0;
};

} // namespace halcyra
