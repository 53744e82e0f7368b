#pragma once
// The installer's helper, run from the installer's temporary folder: stops
// the copy of the service that runs from the install folder, and starts the
// installed copy and waits until it answers. NSIS has no way of its own to
// tell one process named TessavinServer.exe from another by where its exe
// lies, nor to speak HTTP to it.
//
//   TessavinSetup.exe stop        INSTALL_DIR
//   TessavinSetup.exe start       INSTALL_DIR
//   TessavinSetup.exe remove-data INSTALL_DIR
//
// The exit code is the outcome; the installer's script turns it into words.
#include "text/strings.h"

enum SetupExit : int {
  kSetupDone = 0,         // stop: none left running; start: it answers ping
  kSetupNotStopped = 1,   // stop: a copy from the folder is still running
  kSetupNoFreePort = 2,   // start: it ended with code 1, no port of 17632-17641 was free
  kSetupAnotherCopy = 3,  // start: another copy of this user already runs (from elsewhere)
  kSetupNoAnswer = 4,     // start: it runs but did not answer ping in time
  kSetupNotStarted = 5,   // start: the exe could not be started at all
  kSetupUsage = 6,
  kSetupNotRemoved = 7,  // remove-data: something in data\ could not be deleted
};

// What was seen of the started service at one look.
struct StartLook {
  bool ended = false;           // the process has ended
  unsigned long exit_code = 0;  // its code, once ended
  bool port_file = false;       // service_port.txt exists (it held the guard and bound a port)
  bool answered = false;        // ping on that port answered as the service
};

// The outcome one look settles, or -1 to keep looking. A start that ends
// with code 0 after writing its port file handed over to a self-update, and
// the new build will answer; one that ends with 0 before writing it found
// another instance.
int start_outcome(const StartLook& look);

// Ends every process whose exe is the file `exe` and waits up to
// `wait_ms` for each to end. Processes of that name elsewhere are left alone.
int stop_copies_of(const WideString& exe, unsigned wait_ms);

// Starts `exe` in `directory` and waits up to `wait_ms` for it to answer.
int start_and_wait(const WideString& directory, unsigned wait_ms);

// True when something on 127.0.0.1:port answers GET /api/ping as the service.
bool answers_ping(unsigned port);

// Deletes `directory` and everything in it. A link or junction inside (the
// music folder may hold links to folders elsewhere) is removed itself; what
// it points at is never entered, so music kept elsewhere stays.
int remove_tree(const WideString& directory);
