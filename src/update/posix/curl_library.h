#pragma once
// libcurl's functions the fetch calls, from the library opened at run time:
// the service maps it (and its TLS, Kerberos, LDAP, ... dependencies) only
// while the self-update really fetches.
#include <curl/curl.h>

inline constexpr char kCurlLibrary[] = "libcurl.so.4";

struct CurlLibrary {
  void* handle = nullptr;
  decltype(&::curl_global_init) global_init = nullptr;
  decltype(&::curl_global_cleanup) global_cleanup = nullptr;
  decltype(&::curl_easy_init) easy_init = nullptr;
  decltype(&::curl_easy_setopt) easy_setopt = nullptr;
  decltype(&::curl_easy_perform) easy_perform = nullptr;
  decltype(&::curl_easy_getinfo) easy_getinfo = nullptr;
  decltype(&::curl_easy_cleanup) easy_cleanup = nullptr;
};

// Opens the library `name` and initialises it; false (and `library` empty)
// when it cannot be opened, lacks one of the functions or fails to
// initialise. On true, close_curl must follow.
bool open_curl(const char* name, CurlLibrary& library);
void close_curl(CurlLibrary& library);
