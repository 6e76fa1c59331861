// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

namespace halcyra::tnc {

inline constexpr std::uint8_t kFend = 0xC0;
inline constexpr std::uint8_t kFesc = 0xDB;
inline constexpr std::uint8_t kTfend = 0xDC;
inline constexpr std::uint8_t kTfesc = 0xDD;

// Undoes KISS framing over a byte stream that arrives in pieces of any size.
// A TNC's stream is untrusted: whatever it sends ends in counts, never in a
// frame longer than kMaxFrame or in more frames than it sent FENDs.
class KissDeframer {
public:
    static constexpr std::size_t kMaxFrame = 2048; // beyond any AX.25 frame: dropped and counted

    struct Counts {
        std::uint64_t frames = 0;     // data frames handed out
        std::uint64_t commands = 0;   // frames of other commands (TXDELAY, ...): not ours to act on
        std::uint64_t oversize = 0;   // longer than kMaxFrame
        std::uint64_t badEscapes = 0; // FESC followed by anything but TFEND or TFESC
    };

    // Calls onFrame(int port, std::span<const std::uint8_t> ax25) for each
    // data frame completed; the span is valid during the call.
    template <typename OnFrame> void feed(std::span<const std::uint8_t> bytes, OnFrame &&onFrame)
    {
        for (std::uint8_t b : bytes) {
            if (b == kFend) {
                if (endFrame())
                    onFrame(port_, std::span<const std::uint8_t>(buffer_.data() + 1, frameLength_));
                continue;
            }
            if (dropping_)
                continue;
            if (escaped_) {
                escaped_ = false;
                if (b == kTfend) {
                    b = kFend;
                } else if (b == kTfesc) {
                    b = kFesc;
                } else {
                    drop(counts_.badEscapes);
                    continue;
                }
            } else if (b == kFesc) {
                escaped_ = true;
                continue;
            }
            if (size_ == buffer_.size()) {
                drop(counts_.oversize);
                continue;
            }
            buffer_[size_++] = b;
        }
    }

    // A new connection: a frame cut by the old one is dropped.
    void reset();

    const Counts &counts() const { return counts_; }

private:
    // Whether the bytes since the last FEND make a data frame: then port_ and
    // frameLength_ tell which.
    bool endFrame();
    void drop(std::uint64_t &count);

    // The command byte, then the frame.
    std::array<std::uint8_t, kMaxFrame + 1> buffer_{};
    std::size_t size_ = 0;
    bool escaped_ = false;
    // The frame is lost: skip to the next FEND. So are the bytes before the
    // first FEND, the tail of a frame begun before we listened.
    bool dropping_ = true;
    int port_ = 0;
    std::size_t frameLength_ = 0;
    Counts counts_;
};

// One data frame in KISS framing, for tests, tools and the benchmark.
std::vector<std::uint8_t> kissFrame(int port, std::span<const std::uint8_t> ax25);

} // namespace halcyra::tnc
