// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include <string_view>

namespace halcyra::journal {

// syslog's levels, which the journal files each line under.
enum class Priority { Critical = 2, Error = 3, Warning = 4, Notice = 5, Info = 6 };

// Writes `message` as one line on standard error. When standard error is the
// journal's stream (the service manager says so in JOURNAL_STREAM), the line
// starts with "<N>", which the journal takes as its priority and drops;
// otherwise, on a terminal or in a file, the text stands alone. Line ends
// inside the message become blanks, so that a message is always one entry.
void write(Priority priority, std::string_view message);

inline void critical(std::string_view message)
{
    write(Priority::Critical, message);
}
inline void error(std::string_view message)
{
    write(Priority::Error, message);
}
inline void warning(std::string_view message)
{
    write(Priority::Warning, message);
}
inline void notice(std::string_view message)
{
    write(Priority::Notice, message);
}
inline void info(std::string_view message)
{
    write(Priority::Info, message);
}

} // namespace halcyra::journal
