// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "scan.h"

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

namespace halcyra {

// Splits a text that arrives in chunks of any size into the same lines as
// forEachLine gives for the whole text: lines end at CR LF, at a lone LF and
// at a lone CR, a CR that ends one chunk and an LF that starts the next are
// one line end, and a text that ends without a line end still has its last
// line. Only a line that spans chunks is copied; the others are handed out as
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
        const char *s = chunk.data();
        const std::size_t n = chunk.size();
        std::size_t i = 0;
        if (n == 0)
            return;
        if (skipLf_) {
            skipLf_ = false;
            if (s[0] == '\n')
                i = 1;
        }
        while (i < n) {
            const std::size_t end = i + detail::findEither(s + i, n - i, '\n', '\r');
            if (end == n) {
                keep(chunk.substr(i));
                return;
            }
            const std::string_view piece = chunk.substr(i, end - i);
            if (!inLine_) {
                if (piece.size() > maxLineLength_)
                    ++overlong_;
                else
                    fn(piece);
            } else {
                keep(piece);
                endKeptLine(fn);
            }
            if (s[end] == '\r' && end + 1 == n)
                skipLf_ = true;
            i = end + ((s[end] == '\r' && end + 1 < n && s[end + 1] == '\n') ? 2 : 1);
        }
    }

    // Hands out the last line when the text does not end with a line end.
    template <typename Fn> void finish(Fn &&fn)
    {
        if (inLine_)
            endKeptLine(fn);
        skipLf_ = false;
    }

    std::uint64_t overlongLines() const { return overlong_; }

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
    bool skipLf_ = false;   // the last chunk ended with CR: an LF next is part of that line end
    std::uint64_t overlong_ = 0;
};

} // namespace halcyra
