#include "agent/partial_archive.h"

#include <sys/stat.h>
#include <sys/time.h>

#include <ctime>
#include <fstream>

#include "gtest/gtest.h"
#include "testing/test_env.h"

namespace {

const std::string kUrl = "https://127.0.0.1/agent.zip";

TEST(PartialArchiveTest, KeepsWhatCanBeResumedForOneRunAtATime) {
  testing_env::ScratchDirectory scratch;
  const std::string dir = scratch.path() + "/";
  {
    std::unique_ptr<PartialArchive> slot = PartialArchive::take(dir);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(PartialArchive::take(dir), nullptr) << "held by this run";
    EXPECT_EQ(slot->resumePointFor(kUrl), std::nullopt) << "nothing kept";
    std::ofstream(slot->path()) << "12345";
    slot->describe(kUrl, "\"v1\"", 10);
  }
  std::unique_ptr<PartialArchive> slot = PartialArchive::take(dir);
  ASSERT_NE(slot, nullptr);
  const std::optional<platform::ResumePoint> point =
      slot->resumePointFor(kUrl);
  ASSERT_TRUE(point);
  EXPECT_EQ(point->offset, 5);
  EXPECT_EQ(point->etag, "\"v1\"");
  EXPECT_EQ(point->totalLength, 10);

  // Another URL, a weak ETag, bytes past the length, or an old partial:
  // nothing to resume, and the record goes.
  struct Case {
    const char* name;
    std::string url;
    std::string etag;
    std::int64_t length;
    std::time_t age;
  };
  for (const Case& c :
       {Case{"another URL", "https://mirror.example/a.zip", "\"v1\"", 10, 0},
        Case{"weak ETag", kUrl, "W/\"v1\"", 10, 0},
        Case{"as long as announced", kUrl, "\"v1\"", 5, 0},
        Case{"old", kUrl, "\"v1\"", 10,
             PartialArchive::kMaxAgeSeconds + 60}}) {
    SCOPED_TRACE(c.name);
    slot->describe(c.url, c.etag, c.length);
    const timeval then[2] = {{std::time(nullptr) - c.age, 0},
                             {std::time(nullptr) - c.age, 0}};
    ASSERT_EQ(utimes(slot->path().c_str(), then), 0);
    EXPECT_EQ(slot->resumePointFor(kUrl), std::nullopt);
    ASSERT_EQ(utimes(slot->path().c_str(), nullptr), 0);
    EXPECT_EQ(slot->resumePointFor(kUrl), std::nullopt) << "record gone";
    slot->describe(kUrl, "\"v1\"", 10);
    EXPECT_TRUE(slot->resumePointFor(kUrl));
  }

  // Complete, the archive moves out of the slot.
  EXPECT_EQ(slot->complete(dir + "InstallAgent.zip"), dir + "InstallAgent.zip");
  struct stat info;
  EXPECT_NE(stat(slot->path().c_str(), &info), 0);
}

}  // namespace
