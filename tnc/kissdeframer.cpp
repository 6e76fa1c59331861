// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "kissdeframer.h"

namespace halcyra::tnc {

bool KissDeframer::endFrame()
{
    const bool lost = dropping_ || escaped_;
    if (escaped_) // FESC FEND: the TNC broke off mid-escape
        ++counts_.badEscapes;
    const std::size_t size = size_;
    size_ = 0;
    escaped_ = false;
    dropping_ = false;
    // FEND FEND is only the end of one frame and the start of the next.
    if (lost || size == 0)
        return false;
    // The command byte: the port in its high nibble, the command in its low one.
    if ((buffer_[0] & 0x0F) != 0) {
        ++counts_.commands;
        return false;
    }
    port_ = buffer_[0] >> 4;
    frameLength_ = size - 1;
    ++counts_.frames;
    return true;
}

void KissDeframer::drop(std::uint64_t &count)
{
    ++count;
    dropping_ = true;
}

void KissDeframer::reset()
{
    size_ = 0;
    escaped_ = false;
    dropping_ = true;
}

std::vector<std::uint8_t> kissFrame(int port, std::span<const std::uint8_t> ax25)
{
    std::vector<std::uint8_t> out;
    out.reserve(ax25.size() + ax25.size() / 8 + 3);
    out.push_back(kFend);
    out.push_back(static_cast<std::uint8_t>((port & 0x0F) << 4));
    for (const std::uint8_t b : ax25) {
        if (b == kFend) {
            out.push_back(kFesc);
            out.push_back(kTfend);
        } else if (b == kFesc) {
            out.push_back(kFesc);
            out.push_back(kTfesc);
        } else {
            out.push_back(b);
        }
    }
    out.push_back(kFend);
    return out;
}

} // namespace halcyra::tnc
