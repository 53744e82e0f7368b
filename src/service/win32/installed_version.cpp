#include "service/win32/installed_version.h"

InstalledVersion keep_installed_version_true(const InstalledEntryOps& ops,
                                             const WideString& version) {
  WideString location;
  if (!ops.read_value(u"InstallLocation", location) || location.empty()) {
    return InstalledVersion::not_installed;
  }
  if (location.back() != u'\\' && location.back() != u'/') location += u'\\';
  const WideString running = ops.running_executable();
  if (running.empty() || !ops.same_file(running, location + u"TessavinServer.exe")) {
    return InstalledVersion::elsewhere;
  }
  WideString shown;
  if (ops.read_value(u"DisplayVersion", shown) && shown == version) {
    return InstalledVersion::already_true;
  }
  return ops.write_value(u"DisplayVersion", version) ? InstalledVersion::written
                                                     : InstalledVersion::write_failed;
}
