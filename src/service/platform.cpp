#include "service/platform.h"

namespace {
const PlatformOps* g_ops = nullptr;
}

const PlatformOps& platform() { return g_ops ? *g_ops : native_platform(); }

void set_platform(const PlatformOps* ops) { g_ops = ops; }
