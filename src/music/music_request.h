#pragma once
// The "path" parameter of the music routes, taken as the media route takes
// it: the same syntax checks, the same confinement to the music directory,
// only the kinds the tree lists, and the same error answers.
#include "http/request.h"
#include "service/platform.h"

enum class MusicPathCheck { ok, invalid, forbidden };

// Checks the request's "path" and resolves it inside the music directory
// (which it never creates). On `ok`, `full_path` holds the resolved path; it
// may name a folder or a file of any kind, or nothing at all.
MusicPathCheck resolve_music_request(const HttpRequest& request, WideString& full_path);

// Sends the answer the media route gives for a failed check: 400
// {"error":"invalid path"} or 403 {"error":"forbidden"}.
void send_music_path_error(Socket socket, MusicPathCheck check);

// 404 {"error":"not found"}, as for a missing file.
void send_music_not_found(Socket socket);

// The file's own name, after the last separator, has a kind the tree lists.
bool is_listed_kind(const WideString& full_path);

// Opens a resolved file for reading when it is of a kind the tree lists, by
// the name asked for and by the real name of the file that name opened;
// kNoFile when either is not, when the real name cannot be told, or when the
// file cannot be opened. A link in the music directory may lead anywhere on
// the disk, the resolution does not follow links, and a Windows short name
// may stand for a longer one of another kind, so nothing but the listed
// kinds is ever served.
FileHandle open_listed_file(const WideString& full_path, DeleteSharing sharing);
