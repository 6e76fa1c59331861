// SPDX-License-Identifier: GPL-3.0-or-later
// Copyright (C) 2014-2026 Halcyra ground software contributors

// Preloaded into halcyra-decode by its tests: sends the process SIGTERM right
// after its first successful rename, the moment an interrupt between the
// replacement of two outputs would land.

#include <csignal>

#include <dlfcn.h>
#include <unistd.h>

extern "C" int rename(const char *from, const char *to)
{
    using Rename = int (*)(const char *, const char *);
    static const auto real = reinterpret_cast<Rename>(::dlsym(RTLD_NEXT, "rename"));
    static bool sent = false;
    const int result = real(from, to);
    if (result == 0 && !sent) {
        sent = true;
        ::kill(::getpid(), SIGTERM);
    }
    return result;
}
