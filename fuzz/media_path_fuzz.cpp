// The media path checks on any requested path, resolved under a fixed root
// the way the media route does it.
#include "check.h"
#include "music/kinds.h"
#include "music/media_path.h"
#include "service/paths.h"
#include "text/utf.h"

namespace {

const WideString kRoot = u"/srv/tessavin/music";

bool under(const WideString& root, const WideString& path) {
  return path == root || (path.size() > root.size() && path.compare(0, root.size(), root) == 0 &&
                          path[root.size()] == u'/');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string requested(reinterpret_cast<const char*>(data), size);
  const bool acceptable = is_acceptable_media_path(requested);
  if (acceptable) FUZZ_CHECK(requested.size() <= kMediaPathLimit);

  WideString full_path;
  const bool inside = resolve_media_path(kRoot, join_path(kRoot, utf8_to_utf16(requested)), full_path);
  // Whatever the syntax check let through resolves, and stays inside.
  if (acceptable) FUZZ_CHECK(inside && under(kRoot, full_path));
  // The containment check ignores ASCII case (Windows' rule), so a path that
  // climbs out and back in with other case counts as inside; nothing else does.
  if (inside) FUZZ_CHECK(under(fold_ascii(kRoot), fold_ascii(full_path)));
  return 0;
}
