// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "parser.h"

#include <QString>

#include <string_view>

namespace halcyra {

// What a re-parse of `text` has to tell the user in the status line: frames
// beyond a store's capacity, and lines that look like frames but have the
// wrong length (a receiver that split or garbled a frame). Empty when all is
// well. `lastLineArriving`: the log is a followed file whose last line has no
// line end yet; a frame there is still being written, not garbled.
QString parseNotice(const CycleResult &result, std::string_view text, bool lastLineArriving);

} // namespace halcyra
