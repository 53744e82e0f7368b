#pragma once
// Named JSON documents, one file each in the data directory: the name plus
// ".json". The store keeps bytes; it never looks inside a document.
#include "text/strings.h"

// 1 to 64 bytes, each an ASCII letter or digit, "_" or "-".
bool is_valid_document_name(const Utf8String& name);
// The file of a valid document name.
WideString document_path(const Utf8String& name);
// The JSON array of the data directory's "*.json" file names, in the order
// the file system lists them; "[]" when it cannot be listed.
Utf8String list_documents();
// The whole file, less a leading UTF-8 byte order mark; false when it cannot
// be opened or read.
bool read_whole_file(const WideString& path, Utf8String& out);
