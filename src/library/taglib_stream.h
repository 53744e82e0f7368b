#pragma once
// A read-only TagLib stream over one file opened through the platform seam,
// so that TagLib sees the same files the media route serves: confined to the
// music directory, literal long paths on Windows, faults a test injects.
// TagLib's types stop at this adapter's files.
#include <taglib/tiostream.h>

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
  long length() override;
  void truncate(long) override {}

  // A read of the platform failed at some point: what TagLib made of the
  // file cannot be trusted.
  bool failed() const { return failed_; }
  // The file's size is no longer what it was when it was opened: it was
  // written meanwhile, and what TagLib read may mix two versions.
  bool changed();

 private:
  FileHandle file_;
  long position_ = 0;
  bool failed_ = false;
  long size_at_open_ = 0;
};
