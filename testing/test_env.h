#ifndef TESTING_TEST_ENV_H_
#define TESTING_TEST_ENV_H_

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "testing/fake_main_bundle.h"
#include "platform/os/service.h"

// Real files and environment for tests, cleaned up when the test ends.

namespace testing_env {

// A fresh directory below the system's temporary directory, removed with
// everything in it on destruction.
class ScratchDirectory {
 public:
  ScratchDirectory();
  ~ScratchDirectory();
  ScratchDirectory(const ScratchDirectory&) = delete;
  ScratchDirectory& operator=(const ScratchDirectory&) = delete;

  const std::string& path() const { return path_; }
  // "path()/name".
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

// Sets the environment variable "name" to "value", or unsets it for nullopt,
// and restores the previous state on destruction.
class ScopedEnvironment {
 public:
  ScopedEnvironment(std::string name, std::optional<std::string> value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::optional<std::string> previous_;
};

// Replaces the file at "path" in one step.
void writeFile(const std::string& path, const std::string& content);
// The whole file, or nullopt when it cannot be read.
std::optional<std::string> readFile(const std::string& path);
bool exists(const std::string& path);
// The path of the running test binary, as /proc/self/exe names it.
std::string runningExecutable();
// The NUL-terminated words in the file at "path"; empty when it is missing.
std::vector<std::string> readNulSeparated(const std::string& path);

// Writes a zip archive at "zipPath" holding "files" (name to content) with
// the real zip tool. True when the tool succeeded.
bool makeZip(const std::string& zipPath,
             const std::map<std::string, std::string>& files);

// The launcher of a test agent: it writes its own path and then each of its
// arguments, each followed by a NUL byte, to the file named by AGENT_RECORD,
// and exits with AGENT_EXIT (0 when unset).
extern const char kRecordingLauncher[];

// A bundle X.app/Contents/{MacOS,Resources} in a scratch directory, installed
// as the process's main bundle, with HOME at "home" in the scratch directory
// and AGENT_RECORD at "agent-record" there.
class FakeBundle {
 public:
  FakeBundle();

  // The scratch directory, which holds X.app.
  std::string root() const { return scratch_.path(); }
  std::string bundlePath() const { return scratch_ / "X.app"; }
  std::string resources() const { return bundlePath() + "/Contents/Resources"; }
  std::string home() const { return scratch_ / "home"; }

  // Ships a recording agent as "name" in the resources; true on success.
  bool shipAgent(const std::string& name = "InstallAgent.zip") const;
  // The agent's path and arguments, as the recording launcher wrote them;
  // empty when the agent did not run.
  std::vector<std::string> agentCall() const;

 private:
  ScratchDirectory scratch_;
  platform::FakeMainBundle mainBundle_;
  platform::ScopedService<platform::MainBundle> service_{&mainBundle_};
  ScopedEnvironment home_;
  ScopedEnvironment record_;
};

}  // namespace testing_env

#endif  // TESTING_TEST_ENV_H_
