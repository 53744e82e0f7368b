#include "track_fixtures.h"

#include "service/paths.h"

MusicFolder::MusicFolder() {
  std::filesystem::create_directories(music);
  set_service_directories(dir.path.u16string());
}

std::filesystem::path MusicFolder::add(const std::string& fixture, const std::string& name) const {
  const std::filesystem::path target = music / name;
  std::filesystem::create_directories(target.parent_path());
  std::filesystem::copy_file(track_fixture(fixture), target,
                             std::filesystem::copy_options::overwrite_existing);
  return target;
}
