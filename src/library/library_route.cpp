#include "library/library_route.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <new>

#include "http/response.h"
#include "music/tree.h"
#include "service/paths.h"

// One complete index and its "tracks" array, built once when the index
// changes and sent as it is to every call until the next change.
struct LibrarySnapshot {
  LibraryEntries entries;
  Utf8String tracks;
};

namespace {

std::shared_ptr<const LibrarySnapshot> make_snapshot(LibraryEntries entries) {
  auto snapshot = std::make_shared<LibrarySnapshot>();
  snapshot->entries = std::move(entries);
  Utf8String& out = snapshot->tracks;
  out.reserve(2 + snapshot->entries.size() * 320);
  out += '[';
  bool first = true;
  for (const LibraryEntry& entry : snapshot->entries) {
    if (!first) out += ',';
    append_library_track(entry, out);
    first = false;
  }
  out += ']';
  return snapshot;
}

}  // namespace

// The scan thread and the connection threads share this. The lock guards
// the fields below it and is only ever held to copy a pointer or a counter:
// never while the disk is walked, a file is read or an answer is built.
struct Library {
  LibrarySettings settings;
  ScanProgress progress;

  std::mutex lock;
  std::condition_variable scan_ended;
  // The last complete index; replaced whole, never changed in place, so an
  // answer can be built from it while the next scan runs.
  std::shared_ptr<const LibrarySnapshot> complete = make_snapshot({});
  std::uint64_t asked = 0;  // refreshes asked for, one per call
  std::uint64_t done = 0;   // the last of them a finished scan covered
  bool scanning = false;    // the scan thread runs, or is about to
  bool loaded = false;      // the index file has been read
  std::size_t last_to_read = 0;  // what the last finished scan read
  // Only the scan thread uses this; one runs at a time, each after the last.
  bool unsaved = false;  // the index file does not hold the last complete index
  std::uint64_t unsaved_since = 0;  // monotonic_ms of the change not yet saved
};

namespace {

// How long scans that follow each other may put off saving a changed index.
constexpr std::uint64_t kSaveDelayLimitMs = 10000;

const char* phase_name(ScanPhase phase) {
  switch (phase) {
    case ScanPhase::loading: return "loading";
    case ScanPhase::listing: return "listing";
    case ScanPhase::reading: return "reading";
    case ScanPhase::done: break;
  }
  return "done";
}

// Runs scans until every refresh asked for so far is covered. A call that
// comes while a scan runs may have changed the disk behind the walk, so it
// is covered only by a scan that starts after it.
void run_scans(const std::shared_ptr<Library>& library) {
  Library& l = *library;
  for (;;) {
    std::uint64_t covering = 0;
    std::shared_ptr<const LibrarySnapshot> previous;
    bool load = false;
    {
      std::lock_guard<std::mutex> guard(l.lock);
      if (l.done >= l.asked) {
        l.scanning = false;
        l.scan_ended.notify_all();
        return;
      }
      covering = l.asked;
      previous = l.complete;
      load = !l.loaded;
    }
    if (load) {
      l.progress.phase = ScanPhase::loading;
      auto from_file = std::make_shared<LibraryEntries>();
      // A missing, corrupt or foreign file counts as an empty index, and
      // the next save replaces it.
      l.unsaved = !load_library_index(l.settings.index_file, *from_file);
      l.unsaved_since = platform().monotonic_ms();
      previous = make_snapshot(std::move(*from_file));
      std::lock_guard<std::mutex> guard(l.lock);
      l.complete = previous;
      l.loaded = true;
    }
    bool changed = false;
    LibraryEntries refreshed = refresh_library(l.settings.music_directory, previous->entries,
                                               l.settings.reader, l.progress, changed);
    // Unchanged, the last snapshot stays, and with it its built answer.
    const auto next = changed ? make_snapshot(std::move(refreshed)) : previous;
    {
      std::lock_guard<std::mutex> guard(l.lock);
      l.complete = next;
      l.done = covering;
      l.last_to_read = l.progress.to_read;
      l.scan_ended.notify_all();
    }
    previous.reset();
    const std::uint64_t now = platform().monotonic_ms();
    if (changed && !l.unsaved) l.unsaved_since = now;
    l.unsaved = l.unsaved || changed;
    bool pending = false;
    {
      std::lock_guard<std::mutex> guard(l.lock);
      pending = l.done < l.asked;
    }
    // After the answer is out, and once no caller waits for a scan, so that
    // nobody waits for the disk too; a page that keeps calling puts it off
    // for a few seconds at most. A save that fails is tried again later.
    if (l.unsaved && (!pending || now - l.unsaved_since >= kSaveDelayLimitMs)) {
      l.unsaved = !save_library_index(l.settings.index_file, next->entries);
      l.unsaved_since = now;
    }
  }
}

void scan_thread(void* raw) {
  const std::unique_ptr<std::shared_ptr<Library>> library(
      static_cast<std::shared_ptr<Library>*>(raw));
  run_scans(*library);
}

}  // namespace

std::shared_ptr<Library> make_library(const LibrarySettings& settings) {
  auto library = std::make_shared<Library>();
  library->settings = settings;
  return library;
}

LibraryAnswer answer_library(const std::shared_ptr<Library>& library) {
  Library& l = *library;
  std::uint64_t wanted = 0;
  bool start = false;
  {
    std::lock_guard<std::mutex> guard(l.lock);
    wanted = ++l.asked;
    if (!l.scanning) {
      l.scanning = true;
      start = true;
    }
  }
  if (start) {
    auto* share = new (std::nothrow) std::shared_ptr<Library>(library);
    if (share == nullptr || !platform().start_thread(scan_thread, share)) {
      delete share;
      // No thread to spare: this call scans itself, as a connection is
      // served by the accepting thread when no thread can be made.
      run_scans(library);
    }
  }

  std::shared_ptr<const LibrarySnapshot> snapshot;
  bool current = false;
  std::size_t to_read = 0;
  {
    std::unique_lock<std::mutex> guard(l.lock);
    current = l.scan_ended.wait_for(guard, std::chrono::milliseconds(l.settings.wait_ms),
                                    [&] { return l.done >= wanted; });
    snapshot = l.complete;
    to_read = l.last_to_read;
  }

  LibraryAnswer answer;
  Utf8String& out = answer.body;
  out.reserve(128 + snapshot->tracks.size());
  out += "{\"scan\":{\"state\":\"";
  if (current) {
    answer.status = 200;
    out += "done\",\"files\":" + std::to_string(snapshot->entries.size()) +
           ",\"toRead\":" + std::to_string(to_read) + ",\"read\":" + std::to_string(to_read);
  } else {
    answer.status = 202;
    // The counters move on their own; a page only shows them.
    const ScanPhase phase = l.progress.phase;
    out += phase_name(phase == ScanPhase::done ? ScanPhase::listing : phase);
    out += "\",\"files\":" + std::to_string(l.progress.files.load()) +
           ",\"toRead\":" + std::to_string(l.progress.to_read.load()) +
           ",\"read\":" + std::to_string(l.progress.read.load());
  }
  out += "},\"tracks\":";
  out += snapshot->tracks;
  out += '}';
  return answer;
}

void wait_for_library_scan(Library& library) {
  std::unique_lock<std::mutex> guard(library.lock);
  library.scan_ended.wait(guard, [&] { return !library.scanning; });
}

const std::shared_ptr<Library>& service_library() {
  // Made once, on the first call, and kept for the life of the process; the
  // process ends without running destructors, a scan thread may hold it.
  static const std::shared_ptr<Library>* const library = [] {
    LibrarySettings settings;
    settings.music_directory = music_root();
    settings.index_file = library_index_path();
    settings.reader = read_library_track;
    return new std::shared_ptr<Library>(make_library(settings));
  }();
  return *library;
}

void handle_music_library(Socket socket) {
  const std::shared_ptr<Library>& library = service_library();
  // As for the tree: created on demand, a failure shows as an empty library.
  ensure_directory(data_directory());
  ensure_directory(music_root());
  const LibraryAnswer answer = answer_library(library);
  send_response(socket, answer.status, answer.status == 200 ? "OK" : "Accepted", kJsonType,
                answer.body);
}
