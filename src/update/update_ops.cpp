#include "update/update_ops.h"

namespace {
const UpdateOps* g_ops = nullptr;
}

const UpdateOps& update_ops() { return g_ops ? *g_ops : native_update_ops(); }

void set_update_ops(const UpdateOps* ops) { g_ops = ops; }
