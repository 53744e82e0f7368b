#include "update/binding.h"

const char16_t native_update::kNewExecutableName[] = u"TessavinServer-new";
const char16_t native_update::kSwapScriptName[] = u"TessavinServer-update.sh";

// A running executable can be replaced at once here, so the script first
// waits until the service that started it ($1) has ended: a new build
// started earlier would find the single-instance guard held and exit. A
// process that has ended but is not yet reaped has no /proc/PID/exe.
const char native_update::kSwapScriptText[] =
    "#!/bin/sh\n"
    "cd \"$(dirname \"$0\")\" || exit 1\n"
    "n=0\n"
    "while :; do\n"
    "  n=$((n + 1))\n"
    "  if [ \"$n\" -gt 60 ]; then exit 1; fi\n"
    "  sleep 1\n"
    "  if [ -e \"/proc/$1/exe\" ]; then continue; fi\n"
    "  chmod 0755 TessavinServer-new && mv -f TessavinServer-new TessavinServer && break\n"
    "done\n"
    "./TessavinServer </dev/null &\n"
    "rm -f \"$0\"\n";
