#ifndef PLATFORM_OS_FILE_MANAGER_H_
#define PLATFORM_OS_FILE_MANAGER_H_

#include <string>

namespace platform {

// Removal of files and directory trees. Abstract so tests can replace it;
// the real one works on the local file system.
class FileManager {
 public:
  virtual ~FileManager() = default;
  // Removes "path" and, for a directory, everything below it, giving the
  // owner back the access to directories that a program run from the tree
  // took away. Symbolic links are removed, never followed. True when
  // nothing is left at "path".
  virtual bool removeItemAtPath(const std::string& path) = 0;

  static FileManager& Real();
};

// "directory" and "name" joined with exactly one separator, whether or not
// "directory" ends with one.
std::string appendPathComponent(const std::string& directory,
                                const std::string& name);

}  // namespace platform

#endif  // PLATFORM_OS_FILE_MANAGER_H_
