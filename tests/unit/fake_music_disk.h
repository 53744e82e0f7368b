#pragma once
// A music directory in memory behind the platform seam (listings, directory
// identities, file stamps) and a track reader that counts, fails and blocks
// on demand. Safe to use from a scan thread while the test changes it.
#include <map>
#include <mutex>
#include <set>
#include <string>

#include "fake_platform.h"
#include "library/library_scan.h"

struct FakeMusicDisk {
  // Installs the listing, identity and stamp members into `ops`; clears all.
  void install(PlatformOps& ops);

  // Path helpers: `relative` uses "/", the result the platform's separator.
  WideString full(const std::string& relative) const;

  void folder(const std::string& relative, std::uint64_t identity = 0);
  // A link at `relative` to the folder `target`: same listing, same identity.
  void link(const std::string& relative, const std::string& target);
  void file(const std::string& relative, std::uint64_t size = 1, std::int64_t modified = 1);
  void remove(const std::string& relative);
  void touch(const std::string& relative, std::int64_t modified);
  void unstampable(const std::string& relative);  // file_stamp fails for it

  // The reader.
  std::map<std::string, int> reads() const;  // calls per relative path
  int read_count() const;
  void fail_reading(const std::string& relative);
  void answer(const std::string& relative, const std::string& info);
  // While held, every read waits until it is released.
  void hold_reads();
  void release_reads();
  int max_concurrent_reads() const;
  int waiting_reads() const;
  // A read of `relative` changes its stamp while it reads.
  void change_while_reading(const std::string& relative);

  static bool reader(const WideString& full_path, Utf8String& info_json);
};

FakeMusicDisk& fake_disk();
