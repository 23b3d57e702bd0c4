#include "testing/test_env.h"

#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <filesystem>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <system_error>
#include <vector>

extern char** environ;

namespace testing_env {

namespace fs = std::filesystem;

const char kRecordingLauncher[] =
    "printf '%s\\0' \"$0\" \"$@\" > \"$AGENT_RECORD\"\n"
    "exit \"${AGENT_EXIT:-0}\"\n";

ScratchDirectory::ScratchDirectory() {
  std::string pattern = (fs::temp_directory_path() / "unitXXXXXX").string();
  if (mkdtemp(pattern.data()) != nullptr) path_ = pattern;
}

ScratchDirectory::~ScratchDirectory() {
  std::error_code ignored;
  if (!path_.empty()) fs::remove_all(path_, ignored);
}

std::string ScratchDirectory::operator/(const std::string& name) const {
  return path_ + "/" + name;
}

ScopedEnvironment::ScopedEnvironment(std::string name,
                                     std::optional<std::string> value)
    : name_(std::move(name)) {
  if (const char* old = getenv(name_.c_str())) previous_ = old;
  if (value) {
    setenv(name_.c_str(), value->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

ScopedEnvironment::~ScopedEnvironment() {
  if (previous_) {
    setenv(name_.c_str(), previous_->c_str(), 1);
  } else {
    unsetenv(name_.c_str());
  }
}

void writeFile(const std::string& path, const std::string& content) {
  // Through a rename, so a server re-reading the file never sees half of it.
  const std::string temporary = path + ".tmp";
  std::ofstream(temporary, std::ios::binary | std::ios::trunc) << content;
  std::rename(temporary.c_str(), path.c_str());
}

std::optional<std::string> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), {});
}

bool exists(const std::string& path) {
  std::error_code ignored;
  return fs::exists(fs::symlink_status(path, ignored));
}

std::string runningExecutable() {
  std::error_code ignored;
  return fs::read_symlink("/proc/self/exe", ignored).string();
}

std::vector<std::string> readNulSeparated(const std::string& path) {
  std::vector<std::string> words;
  const std::string content = readFile(path).value_or("");
  std::string::size_type start = 0;
  std::string::size_type end;
  while ((end = content.find('\0', start)) != std::string::npos) {
    words.push_back(content.substr(start, end - start));
    start = end + 1;
  }
  return words;
}

bool makeZip(const std::string& zipPath,
             const std::map<std::string, std::string>& files) {
  ScratchDirectory staging;
  // -j stores the files under their bare names; no shell is involved.
  std::vector<std::string> words = {"zip", "-q", "-j", zipPath};
  for (const auto& [name, content] : files) {
    writeFile(staging / name, content);
    words.push_back(staging / name);
  }
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  argv.push_back(nullptr);

  pid_t pid;
  if (posix_spawnp(&pid, "zip", nullptr, nullptr, argv.data(), environ) != 0)
    return false;
  int status = 0;
  return waitpid(pid, &status, 0) == pid && WIFEXITED(status) &&
         WEXITSTATUS(status) == 0;
}

FakeBundle::FakeBundle()
    : home_("HOME", scratch_ / "home"),
      record_("AGENT_RECORD", scratch_ / "agent-record") {
  fs::create_directories(resources());
  fs::create_directories(bundlePath() + "/Contents/MacOS");
  fs::create_directories(home());
  mainBundle_.bundle = platform::BundlePaths{bundlePath(), resources()};
}

bool FakeBundle::shipAgent(const std::string& name) const {
  return makeZip(resources() + "/" + name, {{"install", kRecordingLauncher}});
}

std::vector<std::string> FakeBundle::agentCall() const {
  return readNulSeparated(scratch_ / "agent-record");
}

}  // namespace testing_env
