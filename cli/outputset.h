// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "options.h"
#include "outputfile.h"
#include "record.h"

#include <array>
#include <memory>
#include <string>
#include <vector>

namespace halcyra {

// Prints "halcyra-decode: TEXT" on standard error, with any server password hidden.
void message(const std::string &text);

// The CSV files of one run: every output is opened before anything is read,
// so that a name that cannot be written is reported at once, not after a
// long log; at the end all of them replace the old files, or none does.
class OutputSet {
public:
    // Opens --t1 and --t2 as the options name them; false once the reason is
    // printed (the temporaries opened so far are removed). `outputClosed`:
    // standard output was closed when the program started.
    bool open(const DecodeOptions &options, bool outputClosed);

    // The file for a kind's records; null when that kind was not asked for.
    OutputFile *file(FrameKind kind) const { return byKind_[kind == FrameKind::T1 ? 0 : 1]; }
    // A write failed: reading on would be of no use.
    bool anyFailed() const;

    // Completes every file and, when the run succeeded (or `partial`: even
    // when it did not) and every file is complete, replaces them all;
    // otherwise discards them all. Returns the exit status.
    int settle(int status, bool partial);

private:
    std::vector<std::unique_ptr<OutputFile>> outputs_;
    std::array<OutputFile *, 2> byKind_{};
};

} // namespace halcyra
