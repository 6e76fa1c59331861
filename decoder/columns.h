// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "record.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace halcyra {

// The name a catalogue field goes by outside the program: its column in the
// archive's views and its table in a limits file. The caption in lower case
// with each run of characters other than letters and digits replaced by one
// "_". Users' SQL and limits files depend on it, so it never changes.
std::string fieldColumn(std::string_view caption);

// The catalogue fields a user's name stands for: a column in any letter case,
// "t1." or "t2." before it for the kind of frame, which the columns of both
// kinds need (uptime); `kind`, when given, is the kind the name is read in.
// None, one, or two where a column of both kinds is named without its kind.
std::vector<int> fieldsNamed(std::string_view name, std::optional<FrameKind> kind = {});

} // namespace halcyra
