; The installer's own words, in English and Simplified Chinese; the system's
; language picks one. UTF-8 (scripts/tools/windows-installer passes
; -INPUTCHARSET UTF8).

LangString MsgStopping ${LANG_ENGLISH} "Stopping the Tessavin Server that runs from this folder..."
LangString MsgStopping ${LANG_SIMPCHINESE} "正在停止从此文件夹运行的 Tessavin Server……"

LangString MsgNotStopped ${LANG_ENGLISH} "The Tessavin Server that runs from $INSTDIR could not be stopped, so its files cannot be replaced.$\r$\n$\r$\nEnd TessavinServer.exe in Task Manager, then run this again."
LangString MsgNotStopped ${LANG_SIMPCHINESE} "无法停止从 $INSTDIR 运行的 Tessavin Server，因此无法替换其文件。$\r$\n$\r$\n请在任务管理器中结束 TessavinServer.exe，然后重新运行。"

LangString MsgStarting ${LANG_ENGLISH} "Starting Tessavin Server..."
LangString MsgStarting ${LANG_SIMPCHINESE} "正在启动 Tessavin Server……"

LangString MsgRunning ${LANG_ENGLISH} "Tessavin Server is running on http://127.0.0.1:$Port and starts by itself whenever you log in. Your music goes in $INSTDIR\data\music."
LangString MsgRunning ${LANG_SIMPCHINESE} "Tessavin Server 已在 http://127.0.0.1:$Port 运行，以后每次登录时会自动启动。音乐请放在 $INSTDIR\data\music。"

; What to check when no port could be had, or the service never answered.
LangString MsgChecks ${LANG_ENGLISH} "Check two things:$\r$\n$\r$\n1. Whether Windows has reserved these ports (Hyper-V, WSL and Docker do so). In a Command Prompt run$\r$\n      netsh interface ipv4 show excludedportrange protocol=tcp$\r$\n   and look for a range that covers 17632-17641.$\r$\n2. Whether another program uses them:$\r$\n      netstat -ano -p tcp$\r$\n   lists the ports in use.$\r$\n$\r$\nIt tries again at your next login."
LangString MsgChecks ${LANG_SIMPCHINESE} "请检查两件事：$\r$\n$\r$\n1. Windows 是否保留了这些端口（Hyper-V、WSL 和 Docker 会这样做）。在命令提示符中运行$\r$\n      netsh interface ipv4 show excludedportrange protocol=tcp$\r$\n   查看是否有范围覆盖 17632-17641。$\r$\n2. 是否有其他程序占用了这些端口：$\r$\n      netstat -ano -p tcp$\r$\n   会列出正在使用的端口。$\r$\n$\r$\n下次登录时它会再次尝试。"

LangString MsgNoFreePort ${LANG_ENGLISH} "Tessavin Server is installed but could not start: none of the ports 17632-17641 on 127.0.0.1 was free.$\r$\n$\r$\n$(MsgChecks)"
LangString MsgNoFreePort ${LANG_SIMPCHINESE} "Tessavin Server 已安装，但无法启动：127.0.0.1 上的端口 17632-17641 都不可用。$\r$\n$\r$\n$(MsgChecks)"

LangString MsgNoAnswer ${LANG_ENGLISH} "Tessavin Server is installed and was started, but it did not answer within 30 seconds.$\r$\n$\r$\n$(MsgChecks)"
LangString MsgNoAnswer ${LANG_SIMPCHINESE} "Tessavin Server 已安装并已启动，但 30 秒内没有响应。$\r$\n$\r$\n$(MsgChecks)"

LangString MsgAnotherCopy ${LANG_ENGLISH} "Tessavin Server is installed. Another copy of it is already running for you, started from another folder, and the page uses that one for now.$\r$\n$\r$\nTo use the installed copy, end TessavinServer.exe in Task Manager and log in again."
LangString MsgAnotherCopy ${LANG_SIMPCHINESE} "Tessavin Server 已安装。另一个从其他文件夹启动的 Tessavin Server 已在运行，网页目前使用的是那一个。$\r$\n$\r$\n如需使用已安装的这一个，请在任务管理器中结束 TessavinServer.exe，然后重新登录。"

LangString MsgNotStarted ${LANG_ENGLISH} "Tessavin Server is installed, but $INSTDIR\TessavinServer.exe could not be started. Security software may have blocked it."
LangString MsgNotStarted ${LANG_SIMPCHINESE} "Tessavin Server 已安装，但无法启动 $INSTDIR\TessavinServer.exe，可能被安全软件阻止了。"

LangString SectionData ${LANG_ENGLISH} "Also delete my documents and music (the data folder)"
LangString SectionData ${LANG_SIMPCHINESE} "同时删除我的文档和音乐（data 文件夹）"

LangString SectionDataDescription ${LANG_ENGLISH} "Deletes $INSTDIR\data: the page's saved documents and the music folder. Links in the music folder are removed, never what they point to."
LangString SectionDataDescription ${LANG_SIMPCHINESE} "删除 $INSTDIR\data：网页保存的文档和音乐文件夹。音乐文件夹中的链接只删除链接本身，不会删除其指向的内容。"

LangString MsgRemovingData ${LANG_ENGLISH} "Deleting the data folder..."
LangString MsgRemovingData ${LANG_SIMPCHINESE} "正在删除 data 文件夹……"

LangString MsgDataNotRemoved ${LANG_ENGLISH} "Some of $INSTDIR\data could not be deleted; what is left stays in place."
LangString MsgDataNotRemoved ${LANG_SIMPCHINESE} "$INSTDIR\data 中有部分内容无法删除，剩下的内容保留在原处。"
