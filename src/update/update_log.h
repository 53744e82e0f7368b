#pragma once
#include "text/strings.h"

// Replaces the update log beside the executable with two CR LF lines: the
// product name and the running build's version, then `message` unchanged. A
// failed write is not reported; the file then keeps its previous content.
void update_log(const Utf8String& message);

// The log's path: the base directory + "TessavinServer-update.txt".
WideString update_log_path();
