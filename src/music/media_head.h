#pragma once
// The head of a 200 or 206 media answer, and the whole 416 answer: shared by
// every route that streams bytes with ranges, so that they all answer alike.
#include <cstdint>

#include "service/platform.h"
#include "text/strings.h"

// The status line and header block of a whole (200) or partial (206) answer
// of `length` body bytes; a partial one names bytes `first` to `last` of
// `size`. Ends with the blank line.
Utf8String media_head(bool partial, const char* content_type, std::uint64_t length,
                      std::uint64_t first, std::uint64_t last, std::uint64_t size);

// The 416 answer for a body of `size` bytes, sent whole.
void send_unsatisfiable(Socket socket, std::uint64_t size);
