#include "agent/agent_launch.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>

#include <string>
#include <vector>

#include "agent/shell_command.h"
#include "platform/os/service.h"
#include "testing/fake_error_reporter.h"
#include "testing/fake_process_runner.h"
#include "testing/test_env.h"

namespace {

using testing_env::ScopedEnvironment;
using testing_env::ScratchDirectory;

TEST(CommandLines, PlainPathsAndArgumentsStayBare) {
  const char* argv[] = {"/path/of/bootstrapper", "-v", "log.txt"};
  EXPECT_EQ(
      "sh /tmp/work/install -installbundle "
      "\"/Volumes/Setup Disk/Setup.app/Contents/Resources/bundle.zip\" "
      "-v log.txt ",
      agentCommandLine("sh /tmp/work/install",
                       "/Volumes/Setup Disk/Setup.app/Contents/Resources", 3,
                       argv));
  EXPECT_EQ("sh /w/install -installbundle /r/bundle.zip",
            agentCommandLine("sh /w/install", "/r", 1, argv));
  EXPECT_EQ("unzip -qq -o -P '' /r/InstallAgent.zip -d /tmp/qzAb12Cd",
            unzipCommandLine("/r/InstallAgent.zip", "/tmp/qzAb12Cd", "unzip"));
  // unzip reads no "--": an archive beginning with "-" is made no option.
  EXPECT_EQ("unzip -qq -o -P '' ./-x.zip -d -d",
            unzipCommandLine("-x.zip", "-d", "unzip"));
}

TEST(FireInstallAgent, StartsTheAgentWithTheBundleArchiveAndTheUserArguments) {
  ScratchDirectory scratch;
  const std::string record = scratch / "record";
  ScopedEnvironment recordTo("AGENT_RECORD", record);
  ScopedEnvironment exitWith("AGENT_EXIT", "3");  // Not our business.
  clearReports();

  const std::string launcher = scratch / "install";
  testing_env::writeFile(launcher, testing_env::kRecordingLauncher);
  const char* argv[] = {"/path/of/bootstrapper", "-v", "log.txt"};
  EXPECT_TRUE(fireInstallAgentWithArgs(
      launcher, "sh " + smart_quote(launcher),
      "/Volumes/Setup Disk/Setup.app/Contents/Resources", 3, argv,
      recordReport));
  EXPECT_EQ((std::vector<std::string>{
                launcher, "-installbundle",
                "/Volumes/Setup Disk/Setup.app/Contents/Resources/bundle.zip",
                "-v", "log.txt"}),
            testing_env::readNulSeparated(record));

  // Without user arguments nothing is appended.
  EXPECT_TRUE(fireInstallAgentWithArgs(launcher, "sh " + smart_quote(launcher),
                                       "/r/", 1, argv, recordReport));
  EXPECT_EQ(
      (std::vector<std::string>{launcher, "-installbundle", "/r//bundle.zip"}),
      testing_env::readNulSeparated(record));
  EXPECT_TRUE(recordedReports().empty());
}

TEST(UnzipInstallAgent, UnpacksOrReportsTheToolsFailure) {
  ScratchDirectory scratch;
  clearReports();
  const std::string destination = scratch / "a 'b' $(c)";
  mkdir(destination.c_str(), 0700);
  const std::string archive = scratch / "agent.zip";
  ASSERT_TRUE(testing_env::makeZip(archive, {{"install", "exit 0\n"}}));

  EXPECT_TRUE(unzipInstallAgent(archive, destination, "unzip", recordReport));
  EXPECT_TRUE(testing_env::exists(destination + "/install"));
  // Unpacking again overwrites without asking.
  EXPECT_TRUE(unzipInstallAgent(archive, destination, "unzip", recordReport));
  EXPECT_TRUE(recordedReports().empty());

  // A missing archive runs nothing, so the missing tool stays unnoticed.
  EXPECT_FALSE(unzipInstallAgent(scratch / "missing.zip", destination,
                                 "no-such-unzip-tool", recordReport));
  EXPECT_TRUE(recordedReports().empty());

  EXPECT_FALSE(unzipInstallAgent(archive, destination, "no-such-unzip-tool",
                                 recordReport));
  testing_env::writeFile(scratch / "corrupt.zip", "not a zip archive");
  EXPECT_FALSE(unzipInstallAgent(scratch / "corrupt.zip", destination, "unzip",
                                 recordReport));
  EXPECT_EQ((std::vector<std::string>{"Failed to unzip the install agent",
                                      "Failed to unzip the install agent"}),
            recordedReports());
}

// Both go through /bin/sh -c with the line as built; unzip never gets the
// user's terminal to ask on, and a line the kernel refuses is a failed start.
TEST(ShellRuns, UnzipReadsNothingAndARefusedLineIsAFailedStart) {
  platform::FakeProcessRunner runner;
  platform::ScopedService<platform::ProcessRunner> service(&runner);
  ScratchDirectory scratch;
  clearReports();
  testing_env::writeFile(scratch / "agent.zip", "zip");
  EXPECT_TRUE(unzipInstallAgent(scratch / "agent.zip", "/w", "unzip",
                                recordReport));
  runner.outcome.startError = E2BIG;
  const char* argv[] = {"bootstrapper", "-v"};
  EXPECT_FALSE(fireInstallAgentWithArgs("/w/install", "sh /w/install", "/r", 2,
                                        argv, recordReport));

  ASSERT_EQ(2u, runner.runs.size());
  EXPECT_EQ("/bin/sh", runner.runs[0].launchPath);
  EXPECT_EQ((std::vector<std::string>{
                "sh", "-c", unzipCommandLine(scratch / "agent.zip", "/w",
                                             "unzip")}),
            runner.runs[0].arguments);
  EXPECT_EQ(platform::StandardInput::kNone, runner.runs[0].input);
  EXPECT_EQ((std::vector<std::string>{
                "sh", "-c", agentCommandLine("sh /w/install", "/r", 2, argv)}),
            runner.runs[1].arguments);
  EXPECT_EQ(platform::StandardInput::kInherited, runner.runs[1].input);
  EXPECT_EQ(std::vector<std::string>{"Failed to start the instal agent"},
            recordedReports());
}

}  // namespace
