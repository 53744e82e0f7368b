#include "setup/win32/setup_helper.h"

int start_outcome(const StartLook& look) {
  if (look.answered) return kSetupDone;
  if (!look.ended) return -1;
  if (look.exit_code == 1) return kSetupNoFreePort;
  if (look.exit_code == 0) return look.port_file ? -1 : kSetupAnotherCopy;
  // A crash or a kill from outside.
  return kSetupNoAnswer;
}
