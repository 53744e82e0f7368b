#pragma once
// Which files the music tree lists, and as what. Only ASCII letters fold.
#include "text/strings.h"

// True when `file_name`, ASCII letters folded to lower case, ends with
// `suffix` (lower case, dot included). A name equal to the suffix counts.
bool has_extension(const WideString& file_name, const WideString& suffix);
bool is_image_extension(const WideString& file_name);
// "audio", "lyric" or "image"; nullptr for a file the tree leaves out.
const char* file_kind(const WideString& file_name);
// The lower-cased text after the last ".", as UTF-8; empty without a dot.
Utf8String extension_text(const WideString& file_name);
// ASCII letters A to Z become a to z; nothing else changes.
WideString fold_ascii(const WideString& text);
