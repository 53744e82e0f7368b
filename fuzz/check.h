#pragma once
// A property that failed aborts the run, so the fuzzer keeps the input.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#define FUZZ_CHECK(condition)                                                         \
  do {                                                                                \
    if (!(condition)) {                                                               \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                   \
    }                                                                                 \
  } while (0)

// Splits fuzz input in two at its first zero byte (all of it goes to `rest`
// when there is none): a short name such as a key, and the text to search.
inline void split_at_zero(const std::uint8_t* data, std::size_t size, std::string& name,
                          std::string& rest) {
  const std::string all(reinterpret_cast<const char*>(data), size);
  const std::size_t zero = all.find('\0');
  if (zero == std::string::npos) {
    name.clear();
    rest = all;
  } else {
    name = all.substr(0, zero);
    rest = all.substr(zero + 1);
  }
}
