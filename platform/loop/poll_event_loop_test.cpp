#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/loop/event_loop.h"
#include "platform/os/unique_fd.h"

namespace platform {
namespace {

TEST(PollEventLoopTest, RunsTimersInOrderAndSleepsBetweenThem) {
  // Given timers added out of order, two of them due at the same time, they
  // run by deadline and then in the order added, without spinning.
  std::unique_ptr<EventLoop> loop = NewPollEventLoop();
  std::string order;
  // Taken before the timers are added, which a loaded machine may delay.
  const double start = loop->now();
  loop->performAfterDelay(0.03, [&] { order += "c"; });
  loop->performAfterDelay(0.01, [&] { order += "a"; });
  loop->performAfterDelay(0.01, [&] { order += "b"; });
  EventLoop::TimerId cancelled =
      loop->performAfterDelay(0.02, [&] { order += "x"; });
  loop->performAfterDelay(0.05, [&] { loop->stop(); });
  loop->cancelDelayed(cancelled);
  loop->cancelDelayed(12345);

  int iterations = 0;
  loop->run([&] { ++iterations; });

  EXPECT_EQ("abc", order);
  EXPECT_GE(loop->now() - start, 0.05);
  // One wake-up per distinct deadline, give or take early wake-ups; a busy
  // loop would make thousands.
  EXPECT_LT(iterations, 10);
}

TEST(PollEventLoopTest, StopReturnsAfterTheCurrentCallback) {
  // Given two timers due together, the first stopping the loop, run()
  // returns before the second, which runs on the next run().
  std::unique_ptr<EventLoop> loop = NewPollEventLoop();
  std::vector<int> ran;
  loop->performAfterDelay(0, [&] {
    ran.push_back(1);
    loop->stop();
    loop->performAfterDelay(0, [&] { ran.push_back(3); });
  });
  loop->performAfterDelay(0, [&] {
    ran.push_back(2);
    loop->stop();
  });
  int hooks = 0;
  loop->run([&] { ++hooks; });
  EXPECT_EQ(std::vector<int>({1}), ran);
  EXPECT_EQ(0, hooks);

  loop->run([&] { ++hooks; });
  EXPECT_EQ(std::vector<int>({1, 2}), ran);

  // A stop() before run() makes it return at once.
  loop->stop();
  loop->run(nullptr);
  EXPECT_EQ(std::vector<int>({1, 2}), ran);
}

TEST(PollEventLoopTest, WatchesDescriptors) {
  // Given a pipe whose read end is watched, a byte written makes the watch
  // run; after unwatch() it no longer runs.
  int fds[2];
  ASSERT_EQ(0, pipe2(fds, O_CLOEXEC | O_NONBLOCK));
  UniqueFd readEnd(fds[0]), writeEnd(fds[1]);
  std::unique_ptr<EventLoop> loop = NewPollEventLoop();
  std::string received;
  loop->watch(readEnd.get(), POLLIN, [&](short revents) {
    EXPECT_TRUE(revents & POLLIN);
    char byte;
    while (read(readEnd.get(), &byte, 1) == 1) received += byte;
    // Unwatching itself from inside its callback is allowed.
    loop->unwatch(readEnd.get());
    loop->performAfterDelay(0.02, [&] { loop->stop(); });
  });
  loop->performAfterDelay(0.01, [&] {
    ASSERT_EQ(2, write(writeEnd.get(), "hi", 2));
  });
  loop->run(nullptr);
  EXPECT_EQ("hi", received);

  ASSERT_EQ(1, write(writeEnd.get(), "!", 1));
  loop->performAfterDelay(0.02, [&] { loop->stop(); });
  loop->run(nullptr);
  EXPECT_EQ("hi", received);
}

TEST(PollEventLoopTest, DeliversSignalsFromTheLoopAndRestoresHandlers) {
  // Given a watched SIGUSR1, raising it runs the callback from the loop, not
  // from the handler; once the loop is gone the old handler is back.
  struct sigaction before {};
  sigaction(SIGUSR1, nullptr, &before);
  {
    std::unique_ptr<EventLoop> loop = NewPollEventLoop();
    int delivered = 0;
    loop->watchSignal(SIGUSR1, [&] {
      ++delivered;
      loop->stop();
    });
    loop->performAfterDelay(0.01, [&] {
      raise(SIGUSR1);
      raise(SIGUSR1);
      // The handler only noted them; the callbacks come from the loop, and
      // asking for them runs none.
      EXPECT_TRUE(loop->signalPending(SIGUSR1));
      EXPECT_FALSE(loop->signalPending(SIGUSR2));
      EXPECT_EQ(0, delivered);
    });
    loop->performAfterDelay(1.0, [&] { loop->stop(); });
    double start = loop->now();
    loop->run(nullptr);
    EXPECT_EQ(1, delivered);
    loop->run(nullptr);
    EXPECT_EQ(2, delivered) << "the second waited for the next run";
    EXPECT_LT(loop->now() - start, 0.5);
  }
  struct sigaction after {};
  sigaction(SIGUSR1, nullptr, &after);
  EXPECT_EQ(before.sa_handler, after.sa_handler);
}

TEST(PollEventLoopTest, ASignalIgnoredBeforeStaysIgnored) {
  // As nohup leaves SIGHUP: watching it must not make it deliverable.
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  struct sigaction before {};
  sigaction(SIGUSR2, &ignore, &before);
  {
    std::unique_ptr<EventLoop> loop = NewPollEventLoop();
    bool delivered = false;
    loop->watchSignal(SIGUSR2, [&] { delivered = true; });
    // A delivered signal would be in the pipe once raise() returns, and
    // would run before the next iteration's timers.
    loop->performAfterDelay(0, [&] {
      raise(SIGUSR2);
      loop->performAfterDelay(0, [&] { loop->stop(); });
    });
    loop->run(nullptr);
    EXPECT_FALSE(delivered);
  }
  struct sigaction after {};
  sigaction(SIGUSR2, &before, &after);
  EXPECT_EQ(SIG_IGN, after.sa_handler);
}

}  // namespace
}  // namespace platform
