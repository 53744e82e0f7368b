#pragma once
// One HTTP GET through the libcurl found under `library_name`; a library that
// cannot be opened is a request that got no response.
#include "update/update_ops.h"

HttpOutcome http_get_once_with(const char* library_name, const WideString& url,
                               std::uint32_t timeout_ms, const HttpResponseSink& sink);
