#include "update/posix/curl_library.h"

#include "service/posix/shared_library.h"

namespace {

bool resolve_all(CurlLibrary& l) {
  return resolve_function(l.handle, "curl_global_init", l.global_init) &&
         resolve_function(l.handle, "curl_global_cleanup", l.global_cleanup) &&
         resolve_function(l.handle, "curl_easy_init", l.easy_init) &&
         resolve_function(l.handle, "curl_easy_setopt", l.easy_setopt) &&
         resolve_function(l.handle, "curl_easy_perform", l.easy_perform) &&
         resolve_function(l.handle, "curl_easy_getinfo", l.easy_getinfo) &&
         resolve_function(l.handle, "curl_easy_cleanup", l.easy_cleanup);
}

}  // namespace

bool open_curl(const char* name, CurlLibrary& library) {
  library = CurlLibrary{};
  library.handle = open_shared_library(name);
  if (library.handle != nullptr && resolve_all(library) &&
      library.global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK) {
    return true;
  }
  close_shared_library(library.handle);
  library = CurlLibrary{};
  return false;
}

// Only the fetch's own thread uses the library, and every transfer has ended
// (curl_easy_cleanup waits for its resolver thread) before this runs, so no
// code of it is left running when it is unmapped. OpenSSL, which it brought
// in, keeps itself loaded until the process ends.
void close_curl(CurlLibrary& library) {
  if (library.handle == nullptr) return;
  library.global_cleanup();
  close_shared_library(library.handle);
  library = CurlLibrary{};
}
