#include "library/taglib_stream.h"

#include <limits>

PlatformStream::PlatformStream(FileHandle file) : file_(file) { size_at_open_ = length(); }

bool PlatformStream::changed() { return length() != size_at_open_; }

PlatformStream::~PlatformStream() { platform().close_file(file_); }

// Only used by TagLib to guess a file type from its name, which this adapter
// never asks it to do: the type comes from the listed kind.
TagLib::FileName PlatformStream::name() const { return ""; }

long PlatformStream::length() {
  std::uint64_t size = 0;
  if (!platform().file_size(file_, size)) {
    failed_ = true;
    return 0;
  }
  constexpr auto kMost = static_cast<std::uint64_t>(std::numeric_limits<long>::max());
  return static_cast<long>(size < kMost ? size : kMost);
}

// A length read from a corrupt header can be anything: the block never asks
// for more than the file holds now, so no allocation outgrows the file, and a
// file that shrinks while it is read just ends sooner.
TagLib::ByteVector PlatformStream::readBlock(unsigned long length) {
  const long size = this->length();
  if (position_ >= size || length == 0) return TagLib::ByteVector();
  const unsigned long available = static_cast<unsigned long>(size - position_);
  if (length > available) length = available;
  if (!platform().seek_file(file_, static_cast<std::uint64_t>(position_))) {
    failed_ = true;
    return TagLib::ByteVector();
  }
  TagLib::ByteVector block(static_cast<unsigned int>(length), '\0');
  unsigned long got = 0;
  while (got < length) {
    const long n = platform().read_file(file_, block.data() + got, length - got);
    if (n < 0) failed_ = true;
    if (n <= 0) break;
    got += static_cast<unsigned long>(n);
  }
  block.resize(static_cast<unsigned int>(got));
  position_ += static_cast<long>(got);
  return block;
}

void PlatformStream::seek(long offset, Position from) {
  long base = 0;
  if (from == Current) base = position_;
  if (from == End) base = length();
  // TagLib seeks before the start only on corrupt input; stay at the start.
  long target = 0;
  if (__builtin_add_overflow(base, offset, &target)) target = offset < 0 ? 0 : std::numeric_limits<long>::max();
  position_ = target < 0 ? 0 : target;
}
