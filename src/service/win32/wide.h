#pragma once
// WideString holds UTF-16 code units, which is what wchar_t holds here.
#include "text/strings.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16");

inline const wchar_t* wide(const WideString& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
