#pragma once
// The music directory as one compact JSON array of folder and file nodes.
#include "service/platform.h"
#include "text/strings.h"

// The data directory's "music" folder, derived on every use.
WideString music_root();

// Appends the JSON array for `directory`, whose path relative to the music
// directory is `relative` ("" for the music directory itself). Folders come
// first, then the files the tree lists, each group ordered by UTF-16 code
// unit. A directory link back to a folder on the current walk path is listed
// with no children, so the walk always ends.
void build_music_tree(const WideString& directory, const Utf8String& relative, Utf8String& out);

// GET /api/music/tree: creates the data and music directories when missing,
// then always answers 200 with the tree.
void handle_music_tree(Socket socket);
