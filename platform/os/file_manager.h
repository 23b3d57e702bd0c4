#ifndef PLATFORM_OS_FILE_MANAGER_H_
#define PLATFORM_OS_FILE_MANAGER_H_

#include <cstdint>
#include <optional>
#include <string>

namespace platform {

// What a file system holds and has left, in bytes.
struct DiskSpace {
  std::uint64_t fileSystem = 0;  // tells file systems apart (the device)
  std::uint64_t available = 0;   // what the user may still write
  std::uint64_t size = 0;
};

// Removal of files and directory trees, and free space. Abstract so tests
// can replace it; the real one works on the local file system.
class FileManager {
 public:
  virtual ~FileManager() = default;
  // Removes "path" and, for a directory, everything below it, giving the
  // owner back the access to directories that a program run from the tree
  // took away. Symbolic links are removed, never followed. True when
  // nothing is left at "path".
  virtual bool removeItemAtPath(const std::string& path) = 0;
  // The file system that holds "path", or would hold it once made: that of
  // its nearest existing ancestor. nullopt when none can be read.
  virtual std::optional<DiskSpace> diskSpaceAt(const std::string& path) = 0;

  static FileManager& Real();
};

// "directory" and "name" joined with exactly one separator, whether or not
// "directory" ends with one.
std::string appendPathComponent(const std::string& directory,
                                const std::string& name);

}  // namespace platform

#endif  // PLATFORM_OS_FILE_MANAGER_H_
