#include "library/taglib_stream.h"

#include <cstring>
#include <limits>

namespace {

constexpr unsigned long kWindow = 65536;

}  // namespace

PlatformStream::PlatformStream(FileHandle file) : file_(file) { size_ = current_size(); }

PlatformStream::~PlatformStream() { platform().close_file(file_); }

// Only used by TagLib to guess a file type from its name, which this adapter
// never asks it to do: the type comes from the listed kind.
TagLib::FileName PlatformStream::name() const { return ""; }

long PlatformStream::current_size() {
  std::uint64_t size = 0;
  if (!platform().file_size(file_, size)) {
    failed_ = true;
    return 0;
  }
  constexpr auto kMost = static_cast<std::uint64_t>(std::numeric_limits<long>::max());
  return static_cast<long>(size < kMost ? size : kMost);
}

bool PlatformStream::changed() { return current_size() != size_; }

unsigned long PlatformStream::read_at(long offset, char* to, unsigned long length) {
  if (!platform().seek_file(file_, static_cast<std::uint64_t>(offset))) {
    failed_ = true;
    return 0;
  }
  unsigned long got = 0;
  while (got < length) {
    const long n = platform().read_file(file_, to + got, length - got);
    if (n < 0) failed_ = true;
    if (n <= 0) break;  // the file shrank meanwhile, or cannot be read
    got += static_cast<unsigned long>(n);
  }
  return got;
}

// A length read from a corrupt header can be anything: the block never asks
// for more than the file held when it was opened, so no allocation outgrows
// the file.
TagLib::ByteVector PlatformStream::readBlock(unsigned long length) {
  if (position_ >= size_ || length == 0) return TagLib::ByteVector();
  const unsigned long available = static_cast<unsigned long>(size_ - position_);
  if (length > available) length = available;
  const bool in_window = position_ >= window_start_ &&
                         position_ - window_start_ + static_cast<long>(length) <=
                             static_cast<long>(window_.size());
  if (!in_window && length < kWindow) {
    const unsigned long wanted = available < kWindow ? available : kWindow;
    window_.resize(wanted);
    window_.resize(read_at(position_, window_.data(), wanted));
    window_start_ = position_;
  }
  TagLib::ByteVector block;
  if (in_window || length < kWindow) {
    const unsigned long offset = static_cast<unsigned long>(position_ - window_start_);
    const unsigned long held = window_.size() > offset ? window_.size() - offset : 0;
    const unsigned long n = length < held ? length : held;
    block.setData(window_.data() + offset, static_cast<unsigned int>(n));
  } else {
    block.resize(static_cast<unsigned int>(length));
    block.resize(static_cast<unsigned int>(read_at(position_, block.data(), length)));
  }
  position_ += static_cast<long>(block.size());
  return block;
}

void PlatformStream::seek(long offset, Position from) {
  long base = 0;
  if (from == Current) base = position_;
  if (from == End) base = size_;
  // TagLib seeks before the start only on corrupt input; stay at the start.
  long target = 0;
  if (__builtin_add_overflow(base, offset, &target)) {
    target = offset < 0 ? 0 : std::numeric_limits<long>::max();
  }
  position_ = target < 0 ? 0 : target;
}
