#pragma once
// A read-only TagLib stream over one file opened through the platform seam,
// so that TagLib sees the same files the media route serves: confined to the
// music directory, literal long paths on Windows, faults a test injects.
// TagLib's types stop at this adapter's files.
#include <taglib/tiostream.h>

#include <string>

#include "service/platform.h"

class PlatformStream : public TagLib::IOStream {
 public:
  // Takes over `file`, and closes it when destroyed.
  explicit PlatformStream(FileHandle file);
  ~PlatformStream() override;

  TagLib::FileName name() const override;
  TagLib::ByteVector readBlock(unsigned long length) override;
  void writeBlock(const TagLib::ByteVector&) override {}
  void insert(const TagLib::ByteVector&, unsigned long, unsigned long) override {}
  void removeBlock(unsigned long, unsigned long) override {}
  bool readOnly() const override { return true; }
  bool isOpen() const override { return true; }
  void seek(long offset, Position from = Beginning) override;
  void clear() override {}
  long tell() const override { return position_; }
  // The size the file had when it was opened: TagLib reads that version.
  long length() override { return size_; }
  void truncate(long) override {}

  // A read of the platform failed at some point: what TagLib made of the
  // file cannot be trusted.
  bool failed() const { return failed_; }
  // The file's size is no longer what it was when it was opened: it was
  // written meanwhile, and what TagLib read may mix two versions.
  bool changed();

 private:
  // Reads up to `length` bytes at `offset` into `to`; the count read.
  unsigned long read_at(long offset, char* to, unsigned long length);
  long current_size();

  FileHandle file_;
  long position_ = 0;
  long size_ = 0;
  bool failed_ = false;
  // The bytes from window_start_ on, as last read: TagLib reads tags in many
  // small blocks, and each would otherwise be a seek and a read of its own.
  std::string window_;
  long window_start_ = 0;
};
