#include "platform/ui/gtk/glib_poll_source.h"

#include <glib-unix.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "platform/os/unique_fd.h"

namespace platform {
namespace {

TEST(GlibPollSourceTest, GlibCallbacksRunFromTheLoopWithoutSpinning) {
  // Given a GLib timeout, a GLib watch of a pipe and a timer of the loop
  // that fills the pipe, each runs once from the one poll loop, in time
  // order, and the loop sleeps in between; a GLib callback may stop it.
  std::unique_ptr<EventLoop> loop = NewPollEventLoop();
  GlibPollSource glib;
  loop->setPollSource(&glib);
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  UniqueFd readEnd(fds[0]);
  UniqueFd writeEnd(fds[1]);

  struct Seen {
    EventLoop* loop;
    std::string order;
  } seen{loop.get(), ""};
  g_timeout_add(
      20,
      [](gpointer data) {
        static_cast<Seen*>(data)->order += "t";
        return G_SOURCE_REMOVE;
      },
      &seen);
  loop->performAfterDelay(0.04, [&] {
    seen.order += "w";
    ASSERT_EQ(write(writeEnd.get(), "x", 1), 1);
  });
  g_unix_fd_add(
      readEnd.get(), G_IO_IN,
      [](gint, GIOCondition, gpointer data) {
        auto* seen = static_cast<Seen*>(data);
        seen->order += "r";
        seen->loop->stop();
        return G_SOURCE_REMOVE;
      },
      &seen);

  int iterations = 0;
  const double start = loop->now();
  loop->run([&] { ++iterations; });
  loop->setPollSource(nullptr);

  EXPECT_EQ(seen.order, "twr");
  EXPECT_GE(loop->now() - start, 0.04);
  EXPECT_LT(iterations, 10);
}

}  // namespace
}  // namespace platform
