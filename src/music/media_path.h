#pragma once
// Keeping media requests inside the music directory.
#include "text/strings.h"

inline constexpr std::size_t kMediaPathLimit = 700;

// The requested relative path passes the syntax checks: not empty, at most
// 700 bytes, not absolute, and no "..", ":" or control byte anywhere.
bool is_acceptable_media_path(const Utf8String& path);

// Resolves both paths to their full form; true when the candidate is the root
// itself or lies inside it. `full_path` then holds the resolved candidate.
bool resolve_media_path(const WideString& root, const WideString& candidate_path,
                        WideString& full_path);

// The Content-Type for the extension after the path's last ".".
const char* mime_type_for(const WideString& full_path);
