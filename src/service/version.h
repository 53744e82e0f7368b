#pragma once

// The one service version: reported by the liveness probe and compared by the
// self-update.
inline constexpr char kServiceVersion[] = "1.5.0";
