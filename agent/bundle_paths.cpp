#include "agent/bundle_paths.h"

#include <unistd.h>

#include "base/constants.h"
#include "platform/os/file_manager.h"
#include "platform/os/main_bundle.h"
#include "platform/os/service.h"

namespace {

std::optional<platform::BundlePaths> mainBundle() {
  return platform::Service<platform::MainBundle>::get().mainBundle();
}

// "name" in the main bundle's resource directory; "" without one.
std::string resourceFile(const std::string& name) {
  const auto bundle = mainBundle();
  if (!bundle || !bundle->resourcePath) return "";
  return platform::appendPathComponent(*bundle->resourcePath, name);
}

}  // namespace

std::string getPathToExecutable() {
  if (const auto bundle = mainBundle()) return bundle->bundlePath;

  char buffer[1024] = {};
  if (readlink("/proc/self/exe", buffer, sizeof buffer - 1) < 0) return "";
  return buffer;
}

std::string withoutLastPathComponent(const std::string& path) {
  const std::string::size_type last = path.find_last_of("/\\");
  return last == std::string::npos ? path : path.substr(0, last);
}

std::string getDirectoryOfExecutable() {
  return withoutLastPathComponent(getPathToExecutable());
}

std::string getBundleLocation() {
  const auto bundle = mainBundle();
  if (!bundle) return getDirectoryOfExecutable();
  return bundle->resourcePath.value_or(bundle->bundlePath);
}

std::string getDefaultInstallAgentLocation() {
  return resourceFile(installAgentZipName);
}

std::string getInstallAgentPublicKeyLocation() {
  return resourceFile(installAgentPublicKeyName);
}

std::string getInstallAgentMirrorsLocation() {
  return resourceFile(installAgentMirrorsName);
}

std::string getInstallAgentFloorLocation() {
  return resourceFile(installAgentFloorName);
}
