#pragma once
#include "http/request.h"

// Picks the one handler that answers the request and lets it send exactly
// one response. The socket stays open; the caller closes it.
void dispatch_request(Socket socket, const HttpRequest& request);
