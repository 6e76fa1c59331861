// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "outputset.h"

#include "location.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace halcyra {

void message(const std::string &text)
{
    std::fprintf(stderr, "%s: %s\n", kDecodeProgram, archive::concealPasswords(text).c_str());
}

bool OutputSet::open(const DecodeOptions &options, bool outputClosed)
{
    for (const auto &[kind, path] :
         {std::pair{FrameKind::T1, &options.t1Path}, std::pair{FrameKind::T2, &options.t2Path}}) {
        if (path->empty())
            continue;
        if (*path == "-" && outputClosed) {
            message("standard output: " + std::string(std::strerror(EBADF)));
            return false; // the destructors remove the temporaries
        }
        auto file = std::make_unique<OutputFile>(*path);
        if (!file->open()) {
            message(file->error());
            return false;
        }
        byKind_[kind == FrameKind::T1 ? 0 : 1] = file.get();
        outputs_.push_back(std::move(file));
    }
    return true;
}

bool OutputSet::anyFailed() const
{
    return std::any_of(outputs_.begin(), outputs_.end(), [](const auto &out) { return out->failed(); });
}

int OutputSet::settle(int status, bool partial)
{
    bool complete = true;
    for (const auto &out : outputs_) {
        if (!out->flush()) {
            message(out->error());
            complete = false;
        }
    }
    if (complete && (status == 0 || partial)) {
        if (!commitAll(outputs_)) {
            for (const auto &out : outputs_) {
                if (out->failed())
                    message(out->error());
            }
            return 1;
        }
        return status;
    }
    // A failure leaves all previous files as they were, not some of them.
    const bool kept = std::any_of(outputs_.begin(), outputs_.end(), [](const auto &o) { return o->replacesFile(); });
    for (const auto &out : outputs_)
        out->discard();
    if (kept)
        message("the output files were left as they were");
    return 1;
}

} // namespace halcyra
