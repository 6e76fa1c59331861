// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "archive.h"

#include <memory>
#include <string>

namespace halcyra::archive {

// The embedded store: one SQLite file, written in WAL mode, one transaction
// per add(). Several programs may write it at once; each waits its turn.
std::unique_ptr<Archive> openSqliteArchive(const std::string &path, const OpenOptions &options);

} // namespace halcyra::archive
