#pragma once
// Where the single-instance guard of one user lives on POSIX.
#include <sys/types.h>

#include <string>

// True when `path` itself (not a link) is a directory owned by `uid` that no
// other user may write to or list.
bool is_private_directory(const std::string& path, uid_t uid);

// A directory only `uid` controls, for its guard file: `runtime_directory`
// (the session's XDG_RUNTIME_DIR; may be empty) when that is absolute and
// private, else `fallback_parent`/ZelvoTessavinService.<uid>, created 0700
// if missing and used only when private. Empty when neither qualifies.
std::string guard_directory(const std::string& runtime_directory,
                            const std::string& fallback_parent, uid_t uid);
