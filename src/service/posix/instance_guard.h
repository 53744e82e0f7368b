#pragma once
// Where the single-instance guard of one user lives on POSIX.
#include <sys/types.h>

#include <string>

#include "service/platform.h"

// True when `path` itself (not a link) is a directory owned by `uid` that no
// other user may write to or list.
bool is_private_directory(const std::string& path, uid_t uid);

// `parent`/ZelvoTessavinService.<uid>, made 0700 if missing; empty when it
// is not private to `uid` (someone else made it, or it was opened up).
std::string fallback_guard_directory(const std::string& parent, uid_t uid);

// Locks "ZelvoTessavinService.<session>.lock" exclusively in the fallback
// directory under `fallback_parent` and in `runtime_directory` (the
// session's XDG_RUNTIME_DIR, possibly empty) when that is absolute and
// private; a directory not private to `uid` is skipped. With both, a start
// with XDG_RUNTIME_DIR and one without still find each other, and a guard
// remains when another user squats the fallback's name.
// already_running when either lock is held elsewhere; unavailable when
// neither directory can be used.
InstanceGuard take_instance_guard(const std::string& runtime_directory,
                                  const std::string& fallback_parent, uid_t uid,
                                  const std::string& session);
