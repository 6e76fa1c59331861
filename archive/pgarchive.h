// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

#pragma once

#include "archive.h"

#include <memory>
#include <string>

namespace halcyra::archive {

// The shared store: a PostgreSQL database that the stations of a network
// write at the same time, named by a libpq connection URI. Each add() is one
// transaction; a frame is stored once, and every station that heard it is
// counted. A lost connection fails the call under way; the next call
// connects again.
std::unique_ptr<Archive> openPostgresArchive(const std::string &uri, const OpenOptions &options);

} // namespace halcyra::archive
