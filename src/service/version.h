#pragma once

// The version of the shipped build.
inline constexpr char kReleaseVersion[] = "1.5.0";

// The one service version: reported by the liveness probe and compared by the
// self-update. It is kReleaseVersion in every build but the test builds that
// stand in for another release (version.cpp).
extern const char* const kServiceVersion;
