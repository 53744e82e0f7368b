#pragma once
// The library index: one record per audio file of the music directory, with
// the stamp it had when it was read and its facts as a compact JSON object,
// and the file in the base directory that keeps it across restarts.
#include <vector>

#include "service/platform.h"
#include "text/strings.h"

struct LibraryEntry {
  Utf8String path;  // relative to the music directory, "/" between components
  FileStamp stamp;  // the file's when it was read
  // False when the stamp could not be taken or moved while the file was
  // read: the file is read again on the next refresh whatever it looks like.
  bool stamp_valid = false;
  Utf8String info;  // the file's facts as a JSON object; "{}" when it could not be read
};

using LibraryEntries = std::vector<LibraryEntry>;

// "TessavinServer-library.dat" in the base directory: beside the service's
// other files, never among the documents.
WideString library_index_path();

// The index file's bytes: a header naming the format and the service
// version that read the files, the records, and a checksum of all of it.
Utf8String encode_library_index(const LibraryEntries& entries);

// The records of bytes made by encode_library_index of this same service
// version. Anything else (another format or version, a cut or altered file,
// a record that could not have been written) gives false and no entries.
bool decode_library_index(const Utf8String& bytes, LibraryEntries& entries);

// Reads and decodes the index file; false, with no entries, when it is
// missing, unreadable, larger than any index could be, or not an index.
bool load_library_index(const WideString& file, LibraryEntries& entries);

// Replaces the index file as a whole (through the atomic writer).
bool save_library_index(const WideString& file, const LibraryEntries& entries);

// True when `text` is exactly one well-formed JSON object (nested at most a
// few dozen levels): what may go into an answer as it is.
bool is_json_object(const Utf8String& text);

// Appends one track's JSON object: "path" first, then the facts.
void append_library_track(const LibraryEntry& entry, Utf8String& out);
