// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "archive.h"

#include <string>
#include <string_view>

// The words both stores use for what they find, so that a user reads the same
// message whether the archive is a file or on a server. `subject` is the
// archive as messages show it: a path, or a server's address and database.
namespace halcyra::archive {

// Ends the message of every archive the programs refuse to touch.
inline constexpr char kLeftAlone[] = "; it was left as it is";

// "<subject> is not a Halcyra archive<why>; it was left as it is"
ArchiveError notAnArchive(std::string_view subject, std::string_view why);

// "<subject> is damaged<why>; it was left as it is"
ArchiveError damagedArchive(std::string_view subject, std::string_view why);

// `why` for an archive that does not say which version it is.
inline constexpr char kNoVersion[] = ": it has no archive version";

// `why` for an archive whose tables lack what this program reads or writes.
std::string foreignTables(std::string_view storeMessage);

// An archive of a later schema than this program knows.
ArchiveError newerArchive(std::string_view subject, int version);

// An add() on an archive opened for reading.
ArchiveError readOnlyArchive(std::string_view subject);

// What a failed add() undid: `frames` is the size of the batch.
std::string noneAdded(std::string_view frames);

} // namespace halcyra::archive
