#pragma once
// The answers to a request refused before its body, as a JSON error with the
// usual headers, so that a page can read why.
#include "http/request.h"

// How long, at most, a refused request's remaining bytes are read and dropped
// after the answer.
inline constexpr unsigned kDrainMs = 2000;

// Sends the refusal's answer (501 for a transfer coding, 400 for a bad
// Content-Length), ends the sending direction, then reads and drops what the
// peer still sends until it closes or kDrainMs pass. Closing with unread
// bytes would reset the connection, and a reset can destroy the answer
// before the client has read it. The socket stays open.
void refuse_request(Socket socket, Refusal refusal);
