#ifndef PLATFORM_OS_MAIN_BUNDLE_H_
#define PLATFORM_OS_MAIN_BUNDLE_H_

#include <optional>
#include <string>

namespace platform {

// Where the running program's bundle lies.
struct BundlePaths {
  std::string bundlePath;                   // empty when the bundle has none
  std::optional<std::string> resourcePath;  // absent when the bundle has none
};

// Finds the process's main bundle. Abstract so tests can replace it (see
// service.h); the real one looks at /proc/self/exe: an executable at
// X.app/Contents/MacOS/NAME belongs to the bundle X.app with resources in
// X.app/Contents/Resources; any other executable is its own bundle, with
// both paths being its directory.
class MainBundle {
 public:
  virtual ~MainBundle() = default;
  // The main bundle, or nullopt when the process has none.
  virtual std::optional<BundlePaths> mainBundle() = 0;

  static MainBundle& Real();
};

}  // namespace platform

#endif  // PLATFORM_OS_MAIN_BUNDLE_H_
