#ifndef TESTING_FAKE_FILE_MANAGER_H_
#define TESTING_FAKE_FILE_MANAGER_H_

#include <map>
#include <optional>
#include <string>

#include "platform/os/file_manager.h"

namespace platform {

// Free space as the test says: "disks" for the paths it names exactly,
// "elsewhere" for any other (a large, empty disk by default). Removal is
// real.
struct FakeFileManager : FileManager {
  bool removeItemAtPath(const std::string& path) override {
    return FileManager::Real().removeItemAtPath(path);
  }
  std::optional<DiskSpace> diskSpaceAt(const std::string& path) override {
    ++spaceReads;
    const auto disk = disks.find(path);
    return disk != disks.end() ? disk->second : elsewhere;
  }

  std::map<std::string, std::optional<DiskSpace>> disks;
  std::optional<DiskSpace> elsewhere = DiskSpace{0, 1ull << 40, 1ull << 40};
  int spaceReads = 0;
};

}  // namespace platform

#endif  // TESTING_FAKE_FILE_MANAGER_H_
