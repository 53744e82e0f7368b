#include "update/binding.h"

const char16_t native_update::kNewExecutableName[] = u"TessavinServer-new";
const char16_t native_update::kSwapScriptName[] = u"TessavinServer-update.sh";

// A running executable can be replaced at once here, so the script first
// waits until the service that started it ($1) has ended: a new build
// started earlier would find the single-instance guard held and exit. A
// process that has ended but is not yet reaped has no /proc/PID/exe.
//
// The old build is kept as TessavinServer-old until the new one has stayed up
// for five seconds. If the new one cannot be started or exits with a failure
// within them, the old one is put back and started, with its self-update off
// for that run so that it does not fetch the same release again at once; the
// log says so, under the old build's own first line. A new build that exits
// with 0 at once has found another instance serving, or handed over to a
// newer build itself: either way a service runs, and the new build stays.
const char native_update::kSwapScriptText[] =
    "#!/bin/sh\n"
    "umask 077\n"
    "cd \"$(dirname \"$0\")\" || exit 1\n"
    "n=0\n"
    "while :; do\n"
    "  n=$((n + 1))\n"
    "  if [ \"$n\" -gt 60 ]; then exit 1; fi\n"
    "  sleep 1\n"
    "  if [ ! -e \"/proc/$1/exe\" ]; then break; fi\n"
    "done\n"
    "chmod 0755 TessavinServer-new || exit 1\n"
    "rm -f TessavinServer-old\n"
    "ln TessavinServer TessavinServer-old 2>/dev/null ||\n"
    "  cp -p TessavinServer TessavinServer-old || exit 1\n"
    "mv -f TessavinServer-new TessavinServer || exit 1\n"
    "rm -f \"$0\"\n"
    "./TessavinServer </dev/null &\n"
    "new=$!\n"
    "n=0\n"
    "while [ \"$n\" -lt 5 ]; do\n"
    "  n=$((n + 1))\n"
    "  sleep 1\n"
    "  state=$(cut -d ' ' -f 3 \"/proc/$new/stat\" 2>/dev/null)\n"
    "  if [ -n \"$state\" ] && [ \"$state\" != Z ]; then continue; fi\n"
    "  if wait \"$new\"; then break; fi\n"
    "  mv -f TessavinServer-old TessavinServer || exit 1\n"
    "  { head -n 1 TessavinServer-update.txt\n"
    "    printf '%s\\r\\n' '新版本无法启动，已恢复为原来的版本。'\n"
    "  } >TessavinServer-update.tmp && mv -f TessavinServer-update.tmp TessavinServer-update.txt\n"
    "  ZELVO_NO_SELF_UPDATE=1 ./TessavinServer </dev/null &\n"
    "  exit 1\n"
    "done\n"
    "rm -f TessavinServer-old\n";
