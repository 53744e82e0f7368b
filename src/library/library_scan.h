#pragma once
// One refresh of the library index: the music directory walked as the tree
// walks it, each audio file's stamp compared with the index, and only new or
// changed files read again.
#include <atomic>
#include <cstddef>

#include "library/library_index.h"

// Reads one audio file's facts as a compact JSON object; `full_path` is
// resolved and of a listed kind. False when the file cannot be read.
using TrackReader = bool (*)(const WideString& full_path, Utf8String& info_json);

enum class ScanPhase { loading, listing, reading, done };

// How far a refresh has got, read by other threads while it runs.
struct ScanProgress {
  std::atomic<ScanPhase> phase{ScanPhase::done};
  std::atomic<std::size_t> files{0};    // audio files found so far
  std::atomic<std::size_t> to_read{0};  // of them, new or changed
  std::atomic<std::size_t> read{0};     // of those, read so far
};

// The index of the audio files under `root` now, in the tree's order, from
// `previous`: a file whose path and stamp are unchanged keeps its facts
// without being opened; every other file is handed to `reader`. Folders that
// cannot be listed and files that cannot be read never stop the walk, and a
// directory link back to a folder on the way down is not entered again.
// `changed` tells whether the result differs from `previous` in any way.
LibraryEntries refresh_library(const WideString& root, const LibraryEntries& previous,
                               TrackReader reader, ScanProgress& progress, bool& changed);
