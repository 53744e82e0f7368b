#pragma once
// The HTTP face of the document store: "/api/list" and "/api/data/<name>".
#include "http/request.h"

void handle_document_list(Socket socket);
// `name` is the path after "/api/data/", not yet validated.
void handle_document(Socket socket, const HttpRequest& request, const Utf8String& name);
