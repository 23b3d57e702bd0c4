#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/os/process_info.h"
#include "platform/os/task_launcher.h"

namespace platform {
namespace {

constexpr char kRecordVariable[] = "TASK_LAUNCHER_TEST_RECORD";

std::string joinedWithNuls(const std::vector<std::string>& words) {
  std::string joined;
  for (const std::string& word : words) joined += word + '\0';
  return joined;
}

std::string readAll(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file),
                     std::istreambuf_iterator<char>());
}

// This test runs twice: once as the test, which launches this test binary
// again with awkward arguments, and once in that child, which finds the
// record variable in the environment it inherited and writes down the
// arguments it sees.
TEST(TaskLauncherTest, ChildGetsEachArgumentAndTheEnvironmentUnchanged) {
  if (const char* record = std::getenv(kRecordVariable)) {
    const std::string partial = std::string(record) + ".partial";
    std::ofstream(partial, std::ios::binary)
        << joinedWithNuls(ProcessInfo::Real().arguments());
    std::rename(partial.c_str(), record);
    return;
  }

  char directory[] = "/tmp/task_launcher_test.XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  const std::string record = std::string(directory) + "/arguments";
  setenv(kRecordVariable, record.c_str(), 1);
  const std::vector<std::string> arguments = {
      "--gtest_filter=TaskLauncherTest."
      "ChildGetsEachArgumentAndTheEnvironmentUnchanged",
      "", "two words", "'\"$HOME\\", ""};
  const bool launched =
      TaskLauncher::Real().launch("/proc/self/exe", arguments, {});
  unsetenv(kRecordVariable);
  ASSERT_TRUE(launched);

  // Not waited for by the launcher, so the test polls for the record.
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (access(record.c_str(), F_OK) != 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::vector<std::string> expected = {"/proc/self/exe"};
  expected.insert(expected.end(), arguments.begin(), arguments.end());
  EXPECT_EQ(readAll(record), joinedWithNuls(expected));
  unlink(record.c_str());
  rmdir(directory);

  EXPECT_FALSE(TaskLauncher::Real().launch("/nonexistent/program", {}, {}));
}

TEST(TaskLauncherTest, KeepsOnlyTheNamedDescriptorsAndWaitsWhenAsked) {
  // A descriptor left open across exec, below the kept one, and one marked
  // close-on-exec above it: only the kept one, marked too, reaches the
  // child, which reports what it sees before launch returns.
  char directory[] = "/tmp/task_launcher_test.XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  const std::string seen = std::string(directory) + "/seen";
  const int leftOpen = open(directory, O_RDONLY | O_DIRECTORY);
  const int kept = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  const int marked = open(directory, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  ASSERT_GE(marked, 0);
  const std::string script = "for fd in " + std::to_string(leftOpen) + " " +
                             std::to_string(kept) + " " +
                             std::to_string(marked) +
                             "; do [ -e /proc/$$/fd/$fd ] && echo $fd; done "
                             "> \"$0\"";
  LaunchOptions options;
  options.inheritedFds = {kept};
  options.waitForExit = true;
  ASSERT_TRUE(
      TaskLauncher::Real().launch("/bin/sh", {"-c", script, seen}, options));
  EXPECT_EQ(readAll(seen), std::to_string(kept) + "\n");
  close(kept);
  close(leftOpen);
  close(marked);
  unlink(seen.c_str());
  rmdir(directory);
}

}  // namespace
}  // namespace platform
