#pragma once
// The tag library's side of a track, as plain records: the one adapter over
// TagLib. Every function opens `full_path`, a resolved file of a listed
// audio kind, through the platform seam and reads it only.
#include <string>

#include "library/track_info.h"

// Tags, audio properties and ReplayGain, and whether a picture or lyrics are
// embedded (has_cover, has_lyrics). False when the file cannot be opened or
// a read of it fails; a file TagLib cannot make sense of leaves the fields
// absent and still counts as read.
bool read_tagged_facts(const WideString& full_path, TrackInfo& info);

// The embedded front cover's bytes, else the first embedded picture's.
// False when there is none or the file cannot be read.
bool read_embedded_picture(const WideString& full_path, std::string& bytes);

// The embedded lyrics as UTF-8, and the text encoding the tag stored them in
// ("UTF-8", "UTF-16", "UTF-16BE", "ISO-8859-1"). False when there are none.
bool read_embedded_lyrics(const WideString& full_path, Utf8String& text, Utf8String& encoding);
