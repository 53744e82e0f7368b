#pragma once
// GET /api/music/library: every audio file of the music directory with its
// facts, from an index kept in the base directory and refreshed by a scan on
// a thread of its own. A call asks for a refresh and waits a moment for it;
// when the scan takes longer (the first build of a large library), the call
// answers 202 with the last complete index and how far the scan has got, and
// the scan goes on. Later calls see the progress, then the full result.
#include <memory>

#include "library/library_scan.h"

struct LibrarySettings {
  WideString music_directory;
  WideString index_file;
  TrackReader reader = nullptr;
  // How long a call waits for the scan it asked for before it answers with
  // the progress instead.
  unsigned wait_ms = 1000;
};

struct Library;

// A library with nothing loaded: the index file is read by the first scan.
std::shared_ptr<Library> make_library(const LibrarySettings& settings);

struct LibraryAnswer {
  int status = 200;  // 200: up to date with the disk as of the call; 202: a scan still runs
  Utf8String body;
};

// Asks for a refresh, starts the scan thread unless one runs (or, when no
// thread can be started, scans on the calling thread), waits up to
// `wait_ms` for it, and answers
// {"scan":{"state":...,"files":N,"toRead":N,"read":N},"tracks":[...]}.
LibraryAnswer answer_library(const std::shared_ptr<Library>& library);

// Blocks until no scan runs. Tests and benchmarks only.
void wait_for_library_scan(Library& library);

// The service's own library, over the music directory and the index file
// in the base directory, made on first use: a service whose library is never
// asked for spends nothing on it.
const std::shared_ptr<Library>& service_library();

// The route itself, over the service's own library.
void handle_music_library(Socket socket);

// The reader of the service's own library: a file's facts through the tag
// reader, as the info route gives them, without "path".
bool read_library_track(const WideString& full_path, Utf8String& info_json);
