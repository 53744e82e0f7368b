// One HTTP GET through libcurl, opened for the request and closed after it.

#include <algorithm>
#include <cctype>
#include <string>

#include "service/platform.h"
#include "text/utf.h"
#include "update/binding.h"
#include "update/posix/curl_library.h"
#include "update/posix/http_once.h"
#include "update/release_location.h"

namespace {

struct Transfer {
  const CurlLibrary& curl_library;
  CURL* curl;
  const HttpResponseSink& sink;
  std::string location;  // as the server sent it
  bool head_sent = false;
  bool refused = false;  // the sink wanted no more
};

void send_head(Transfer& t) {
  t.head_sent = true;
  long status = 0;
  t.curl_library.easy_getinfo(t.curl, CURLINFO_RESPONSE_CODE, &status);
  curl_off_t announced = -1;
  t.curl_library.easy_getinfo(t.curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &announced);
  if (!t.sink.head(t.sink.context, status, t.location, announced)) t.refused = true;
}

// Called about once a second even while nothing arrives, from the resolve
// on: the whole request ends once the sink's deadline has passed, however
// the bytes trickle in.
int check_deadline(void* raw, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto& t = *static_cast<Transfer*>(raw);
  return platform().monotonic_ms() >= t.sink.deadline_ms(t.sink.context) ? 1 : 0;
}

// Keeps the Location header; curl, following nothing, would only report it
// once the transfer is over.
std::size_t take_header(char* data, std::size_t, std::size_t length, void* raw) {
  auto& t = *static_cast<Transfer*>(raw);
  static constexpr char kName[] = "location:";
  constexpr std::size_t kNameLength = sizeof kName - 1;
  if (length < kNameLength) return length;
  for (std::size_t i = 0; i < kNameLength; ++i) {
    if (std::tolower(static_cast<unsigned char>(data[i])) != kName[i]) return length;
  }
  std::string value(data + kNameLength, length - kNameLength);
  while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
  t.location = value;  // the caller trims blanks
  return length;
}

std::size_t take_body(char* data, std::size_t, std::size_t length, void* raw) {
  auto& t = *static_cast<Transfer*>(raw);
  if (!t.head_sent) send_head(t);
  if (t.refused) return 0;  // anything short of `length` ends the transfer
  if (!t.sink.body(t.sink.context, data, length)) {
    t.refused = true;
    return 0;
  }
  return length;
}

HttpOutcome transfer_once(const CurlLibrary& l, const WideString& url, std::uint32_t timeout_ms,
                          const HttpResponseSink& sink) {
  CURL* curl = l.easy_init();
  if (curl == nullptr) return HttpOutcome::no_response;
  const std::string address = utf16_to_utf8(url);
  Transfer transfer{l, curl, sink, {}};
  l.easy_setopt(curl, CURLOPT_URL, address.c_str());
  l.easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  l.easy_setopt(curl, CURLOPT_USERAGENT, "ZelvoTessavinServer");
  l.easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  l.easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  l.easy_setopt(curl, CURLOPT_BUFFERSIZE, 8192L);
  // Resolving and connecting within the time-out, and no wait for data longer
  // than it (rounded to whole seconds, at least one); the whole request
  // within the deadline (check_deadline).
  l.easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(timeout_ms));
  l.easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
  l.easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, std::max(1L, static_cast<long>(timeout_ms / 1000)));
  if (kExtraTrustFile[0] != '\0') l.easy_setopt(curl, CURLOPT_CAINFO, kExtraTrustFile);
  l.easy_setopt(curl, CURLOPT_HEADERFUNCTION, take_header);
  l.easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  l.easy_setopt(curl, CURLOPT_WRITEFUNCTION, take_body);
  l.easy_setopt(curl, CURLOPT_WRITEDATA, &transfer);
  l.easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, check_deadline);
  l.easy_setopt(curl, CURLOPT_XFERINFODATA, &transfer);
  l.easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);

  const CURLcode result = l.easy_perform(curl);
  HttpOutcome outcome = HttpOutcome::done;
  if (!transfer.head_sent) {
    // No body arrived: either there was none, or there was no response.
    long status = 0;
    l.easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    if (status == 0) outcome = HttpOutcome::no_response;
    else send_head(transfer);
  }
  if (outcome == HttpOutcome::done && result != CURLE_OK && !transfer.refused) {
    outcome = HttpOutcome::broken;
  }
  l.easy_cleanup(curl);
  return outcome;
}

}  // namespace

HttpOutcome http_get_once_with(const char* library_name, const WideString& url,
                               std::uint32_t timeout_ms, const HttpResponseSink& sink) {
  CurlLibrary library;
  if (!open_curl(library_name, library)) return HttpOutcome::no_response;
  const HttpOutcome outcome = transfer_once(library, url, timeout_ms, sink);
  close_curl(library);
  return outcome;
}

HttpOutcome native_update::http_get_once(const WideString& url, std::uint32_t timeout_ms,
                                         const HttpResponseSink& sink) {
  return http_get_once_with(kCurlLibrary, url, timeout_ms, sink);
}
