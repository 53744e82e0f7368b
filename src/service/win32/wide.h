#pragma once
// WideString holds UTF-16 code units, which is what wchar_t holds here.
#include "text/strings.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16");

inline const wchar_t* wide(const WideString& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}

// `path` as the file system must take it: the long, literal form of its full
// path, so that device names such as "CON" are ordinary file names and no
// length limit below the system's own applies. Every open, create, list and
// move of the binding goes through it.
WideString literal_path(const WideString& path);
