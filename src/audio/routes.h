#pragma once
// The audio routes. Each answers exactly once and leaves the socket open.
#include "http/request.h"

// The render endpoints as a JSON array:
// [{"id":ID,"name":NAME,"active":true|false},...]; "[]" when the platform
// fails. Endpoints without an id are left out; one without a name is listed
// under its id.
Utf8String list_audio_devices();

// GET /api/audio/devices: always 200 with list_audio_devices().
void serve_audio_devices(Socket socket, const HttpRequest& request);
// POST|PUT /api/audio/device: shows or hides the endpoint named by the body's
// "id" as "enable" says.
void serve_audio_device(Socket socket, const HttpRequest& request);
// GET /api/audio/volume: the default output's volume in percent and its mute.
void serve_volume_read(Socket socket, const HttpRequest& request);
// POST|PUT /api/audio/volume: sets the default output's volume from the query
// parameter "v" or else the body's "volume", and lifts a mute above 0.
void serve_volume_set(Socket socket, const HttpRequest& request);
