#pragma once
// A fake of the update seam: a table of canned HTTP answers by URL, a record
// of what was asked for, and a swap script start and process end that only
// take notes. SHA-256 stays the platform's own unless a test breaks it.
#include <cstdint>
#include <map>
#include <vector>

#include "update/update_ops.h"

struct FakeResponse {
  HttpOutcome outcome = HttpOutcome::done;
  long status = 200;
  Utf8String location;
  std::vector<Utf8String> chunks;  // the body, delivered piece by piece
  long long announced = -1;        // the Content-Length sent with the head
  unsigned gap_ms = 0;             // each chunk arrives this long after the last
};

struct FakeUpdate {
  std::map<Utf8String, FakeResponse> responses;  // any other URL gets no response
  bool off = false;
  bool hash_works = true;
  bool script_starts = true;

  std::vector<Utf8String> requested;  // every URL asked for, in order
  std::vector<std::uint32_t> timeouts;
  int bodies_refused = 0;  // times the sink stopped a body early
  std::vector<WideString> scripts_started;
  std::vector<WideString> script_directories;
  std::vector<int> exits;
  // The clock the fetch reads (through fake_clock_ms) and the chunk gaps move.
  std::uint64_t clock_ms = 1000;
  std::vector<std::uint64_t> deadlines;  // the sink's deadline at each request's end
};

// The fake's clock, for PlatformOps::monotonic_ms.
std::uint64_t fake_clock_ms();

// The state behind the fake members; reset by each UpdateOverride.
FakeUpdate& fake_update();

// Installs the fake table for the life of the object. `ops` starts as the
// native table with the switch-off variable, the GET, the script start and
// the exit replaced (and SHA-256 failing on demand).
struct UpdateOverride {
  UpdateOps ops;
  UpdateOverride();
  ~UpdateOverride() { set_update_ops(nullptr); }
  UpdateOverride(const UpdateOverride&) = delete;
  UpdateOverride& operator=(const UpdateOverride&) = delete;
};

// A 200 answer carrying `body` in one piece.
FakeResponse ok_body(const Utf8String& body);
