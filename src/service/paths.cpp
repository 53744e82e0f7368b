#include "service/paths.h"

#include "service/platform.h"

namespace {
WideString g_base_directory;
WideString g_data_directory;
}  // namespace

const WideString& base_directory() { return g_base_directory; }
const WideString& data_directory() { return g_data_directory; }

void set_service_directories(const WideString& base) {
  g_base_directory = base;
  g_data_directory = join_path(base, u"data");
}

WideString join_path(const WideString& directory, const WideString& name) {
  return directory + platform().path_separators[0] + name;
}

WideString module_directory() {
  const WideString path = platform().executable_path();
  const auto cut = path.find_last_of(platform().path_separators);
  if (path.empty() || cut == WideString::npos) return u".";
  return path.substr(0, cut);
}

bool ensure_directory(const WideString& directory) {
  return platform().is_directory(directory) || platform().create_directory(directory);
}
