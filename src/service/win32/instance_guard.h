#pragma once
// How the named mutex's creation maps onto the single-instance guard.
#include "service/platform.h"

// `created`: CreateMutexW gave a handle; `error`: GetLastError right after.
InstanceGuard mutex_outcome(bool created, unsigned long error);
