// One HTTP GET through WinHTTP in synchronous mode.
#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <string>

#include "service/platform.h"
#include "service/win32/wide.h"
#include "text/utf.h"
#include "update/binding.h"

namespace {

// The three handles of one request, closed request first on every path.
struct Handles {
  HINTERNET session = nullptr;
  HINTERNET connection = nullptr;
  HINTERNET request = nullptr;
  ~Handles() {
    if (request) WinHttpCloseHandle(request);
    if (connection) WinHttpCloseHandle(connection);
    if (session) WinHttpCloseHandle(session);
  }
};

Utf8String location_of(HINTERNET request) {
  DWORD size = 0;
  WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX, nullptr, &size,
                      WINHTTP_NO_HEADER_INDEX);
  if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size == 0) return {};
  std::wstring value(size / sizeof(wchar_t) + 1, L'\0');
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_LOCATION, WINHTTP_HEADER_NAME_BY_INDEX,
                           value.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
    return {};
  }
  value.resize(size / sizeof(wchar_t));
  return utf16_to_utf8(WideString(reinterpret_cast<const char16_t*>(value.data()), value.size()));
}

// The announced body length, or -1 when the answer names none.
long long content_length_of(HINTERNET request) {
  DWORD length = 0;
  DWORD size = sizeof length;
  if (!WinHttpQueryHeaders(request, WINHTTP_QUERY_CONTENT_LENGTH | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &length, &size, WINHTTP_NO_HEADER_INDEX)) {
    return -1;
  }
  return length;
}

// The time left before the sink's deadline, as a wait no longer than
// `per_wait`; 0 once it has passed.
int time_left(const HttpResponseSink& sink, std::uint32_t per_wait) {
  const std::uint64_t now = platform().monotonic_ms();
  const std::uint64_t deadline = sink.deadline_ms(sink.context);
  if (now >= deadline) return 0;
  return static_cast<int>(std::min<std::uint64_t>(deadline - now, per_wait));
}

}  // namespace

// WinHTTP bounds each wait, never a whole request, so every wait here is cut
// to what is left of the deadline, and the deadline is checked between
// reads: a server trickling one byte at a time is stopped all the same.
HttpOutcome native_update::http_get_once(const WideString& url, std::uint32_t timeout_ms,
                                         const HttpResponseSink& sink) {
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwSchemeLength = static_cast<DWORD>(-1);
  parts.dwHostNameLength = static_cast<DWORD>(-1);
  parts.dwUrlPathLength = static_cast<DWORD>(-1);
  parts.dwExtraInfoLength = static_cast<DWORD>(-1);
  if (!WinHttpCrackUrl(wide(url), 0, 0, &parts)) return HttpOutcome::no_response;
  const std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  if (parts.dwExtraInfoLength != 0) path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty()) path = L"/";

  Handles h;
  h.session = WinHttpOpen(L"ZelvoTessavinServer", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                          WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
  if (!h.session) return HttpOutcome::no_response;
  const int t = time_left(sink, timeout_ms);
  if (t == 0) return HttpOutcome::no_response;
  WinHttpSetTimeouts(h.session, t, t, t, t);
  h.connection = WinHttpConnect(h.session, host.c_str(), parts.nPort, 0);
  if (!h.connection) return HttpOutcome::no_response;
  const DWORD secure = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
  h.request = WinHttpOpenRequest(h.connection, L"GET", path.c_str(), nullptr, WINHTTP_NO_REFERER,
                                 WINHTTP_DEFAULT_ACCEPT_TYPES, secure);
  if (!h.request) return HttpOutcome::no_response;
  // Redirects are the caller's to judge, one step at a time.
  DWORD never = WINHTTP_OPTION_REDIRECT_POLICY_NEVER;
  WinHttpSetOption(h.request, WINHTTP_OPTION_REDIRECT_POLICY, &never, sizeof never);
  DWORD no_redirects = WINHTTP_DISABLE_REDIRECTS;
  WinHttpSetOption(h.request, WINHTTP_OPTION_DISABLE_FEATURE, &no_redirects, sizeof no_redirects);
  // The whole head, however slowly it comes, within what is left.
  DWORD head_time = static_cast<DWORD>(t);
  WinHttpSetOption(h.request, WINHTTP_OPTION_RECEIVE_RESPONSE_TIMEOUT, &head_time,
                   sizeof head_time);
  WinHttpAddRequestHeaders(h.request, L"User-Agent: ZelvoTessavinServer\r\n",
                           static_cast<DWORD>(-1), WINHTTP_ADDREQ_FLAG_ADD);
  if (!WinHttpSendRequest(h.request, WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0,
                          0, 0) ||
      !WinHttpReceiveResponse(h.request, nullptr)) {
    return HttpOutcome::no_response;
  }
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!WinHttpQueryHeaders(h.request, WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                           WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX)) {
    return HttpOutcome::no_response;
  }
  // WinHTTP ends the body without an error when the server closes the
  // connection early, so a body shorter than announced is caught here.
  const long long announced = content_length_of(h.request);
  if (!sink.head(sink.context, static_cast<long>(status), location_of(h.request), announced)) {
    return HttpOutcome::done;
  }
  long long received = 0;
  char buffer[8192];
  for (;;) {
    DWORD wait = static_cast<DWORD>(time_left(sink, timeout_ms));
    if (wait == 0) return HttpOutcome::broken;
    WinHttpSetOption(h.request, WINHTTP_OPTION_RECEIVE_TIMEOUT, &wait, sizeof wait);
    // Only what has arrived: a read of the whole buffer would wait, byte
    // by trickled byte, until it is full (Wine's does).
    DWORD available = 0;
    if (!WinHttpQueryDataAvailable(h.request, &available)) return HttpOutcome::broken;
    const DWORD wanted = std::min<DWORD>(available, sizeof buffer);
    DWORD got = 0;
    if (wanted > 0 && !WinHttpReadData(h.request, buffer, wanted, &got)) {
      return HttpOutcome::broken;
    }
    if (got == 0) {
      return announced >= 0 && received < announced ? HttpOutcome::broken : HttpOutcome::done;
    }
    received += got;
    if (!sink.body(sink.context, buffer, got)) return HttpOutcome::done;
  }
}
