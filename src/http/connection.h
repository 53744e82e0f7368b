#pragma once
#include "service/platform.h"

// Serves the one request a connection carries and closes the socket, which it
// owns from the call on.
void handle_connection(Socket socket);
