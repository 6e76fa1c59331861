// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#include "texts.h"

#include "schema.h"

namespace halcyra::archive {

using Reason = ArchiveError::Reason;

ArchiveError notAnArchive(std::string_view subject, std::string_view why)
{
    return {Reason::NotAnArchive, std::string(subject) + " is not a Halcyra archive" + std::string(why) + kLeftAlone};
}

ArchiveError damagedArchive(std::string_view subject, std::string_view why)
{
    return {Reason::Damaged, std::string(subject) + " is damaged" + std::string(why) + kLeftAlone};
}

std::string foreignTables(std::string_view storeMessage)
{
    return ": its tables are not those of a Halcyra archive (" + std::string(storeMessage) + ")";
}

ArchiveError newerArchive(std::string_view subject, int version)
{
    return {Reason::NewerVersion, std::string(subject) + " was written by a newer Halcyra (archive version " +
                                      std::to_string(version) + "; this program knows up to version " +
                                      std::to_string(kSchemaVersion) + ")" + kLeftAlone};
}

ArchiveError readOnlyArchive(std::string_view subject)
{
    return {Reason::Failed, std::string(subject) + ": the archive was opened for reading only"};
}

std::string noneAdded(std::string_view frames)
{
    return "none of the last " + std::string(frames) + " frames was added";
}

} // namespace halcyra::archive
