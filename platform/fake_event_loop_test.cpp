#include "platform/fake_event_loop.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>

#include <string>

namespace platform {
namespace {

TEST(FakeEventLoopTest, JumpsTheClockAndReturnsWhenOutOfWork) {
  // Given timers an hour apart, run() goes through them at once, at their
  // own times, and returns when none is left although nobody stopped it.
  FakeEventLoop loop;
  std::string ran;
  loop.performAfterDelay(3600, [&] {
    ran += "b@" + std::to_string(static_cast<int>(loop.now())) + " ";
  });
  loop.performAfterDelay(60, [&] {
    ran += "a@" + std::to_string(static_cast<int>(loop.now())) + " ";
  });
  int hooks = 0;
  loop.run([&] { ++hooks; });
  EXPECT_EQ("a@60 b@3600 ", ran);
  EXPECT_EQ(2, hooks);
  EXPECT_TRUE(loop.ranOutOfWork());

  // stop() is told apart from running out of work.
  loop.performAfterDelay(1, [&] { loop.stop(); });
  loop.performAfterDelay(2, [&] { ran += "late"; });
  loop.run(nullptr);
  EXPECT_FALSE(loop.ranOutOfWork());
  EXPECT_EQ(3601, loop.now());
}

TEST(FakeEventLoopTest, AdvanceRunsOnlyWhatIsDue) {
  FakeEventLoop loop;
  std::string ran;
  loop.performAfterDelay(1, [&] { ran += "1"; });
  loop.performAfterDelay(3, [&] { ran += "3"; });
  loop.advance(2);
  EXPECT_EQ("1", ran);
  EXPECT_EQ(2, loop.now());
  loop.advance(1);
  EXPECT_EQ("13", ran);
}

TEST(FakeEventLoopTest, DeliversSignalsAndReadinessFromTheLoop) {
  FakeEventLoop loop;
  std::string ran;
  loop.watchSignal(SIGINT, [&] { ran += "int "; });
  loop.watch(7, POLLIN, [&](short revents) {
    ran += revents == POLLIN ? "in " : "? ";
    loop.unwatch(7);
  });
  EXPECT_TRUE(loop.isWatching(7));
  loop.raiseSignal(SIGINT);
  loop.makeReady(7, POLLIN);
  EXPECT_EQ("", ran);
  loop.run(nullptr);
  EXPECT_EQ("int in ", ran);
  EXPECT_FALSE(loop.isWatching(7));
}

}  // namespace
}  // namespace platform
