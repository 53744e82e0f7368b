#include "update/binding.h"

const char16_t native_update::kNewExecutableName[] = u"TessavinServer-new.exe";
const char16_t native_update::kSwapScriptName[] = u"TessavinServer-update.bat";

// The move fails while the old executable still runs; each retry waits about
// a second, and after 60 the script gives up.
const char native_update::kSwapScriptText[] =
    "@echo off\r\n"
    "setlocal\r\n"
    "set n=0\r\n"
    ":retry\r\n"
    "set /a n+=1\r\n"
    "if %n% gtr 60 exit /b 1\r\n"
    "ping -n 2 127.0.0.1 >nul\r\n"
    "move /y \"%~dp0TessavinServer-new.exe\" \"%~dp0TessavinServer.exe\" >nul 2>nul\r\n"
    "if errorlevel 1 goto retry\r\n"
    "start \"\" \"%~dp0TessavinServer.exe\"\r\n"
    "del \"%~f0\"\r\n";
