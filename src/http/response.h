#pragma once
#include "service/platform.h"
#include "text/strings.h"

inline constexpr char kJsonType[] = "application/json; charset=utf-8";
inline constexpr char kTextType[] = "text/plain; charset=utf-8";

// The headers every answer of send_response carries after Content-Length:
// open CORS, private-network consent, the service marker, no caching, and the
// connection closed after one answer. Each line ends with CR LF.
extern const char kFixedHeaders[];

// Status line, Content-Type, Content-Length, the fixed headers, a blank line,
// then the body, all in one gather send sequence. Send failures are not
// reported.
void send_response(Socket socket, int status, const char* reason, const char* content_type,
                   const Utf8String& body);

// send_response with one more header, `header: value`, which pages may read
// too: it is added to Access-Control-Expose-Headers.
void send_response_exposing(Socket socket, int status, const char* reason,
                            const char* content_type, const char* header, const Utf8String& value,
                            const Utf8String& body);

// Sends until all `length` bytes are taken or a send fails or times out.
// True when everything was sent.
bool send_all(Socket socket, const char* data, long length);

// The same for `head` followed by `body` as one gather send sequence, with
// no copy of either.
bool send_all_gathered(Socket socket, const char* head, long head_length, const char* body,
                       long body_length);

// 404 "Not Found" in plain text.
void send_not_found(Socket socket);
