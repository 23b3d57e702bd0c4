#ifndef PLATFORM_UI_GTK_GLIB_POLL_SOURCE_H_
#define PLATFORM_UI_GTK_GLIB_POLL_SOURCE_H_

#include <glib.h>

#include <vector>

#include "platform/loop/event_loop.h"

namespace platform {

// GLib's default main context as a poll source of an EventLoop, so that
// GTK's events, timeouts and idle callbacks run on the loop's thread between
// its own callbacks. Owns the context (g_main_context_acquire) while it
// exists; nothing else may iterate the context meanwhile.
class GlibPollSource : public EventLoop::PollSource {
 public:
  GlibPollSource();
  ~GlibPollSource() override;
  GlibPollSource(const GlibPollSource&) = delete;
  GlibPollSource& operator=(const GlibPollSource&) = delete;

  int prepare(std::vector<pollfd>* fds) override;
  void dispatch(const std::vector<pollfd>& fds) override;

 private:
  GMainContext* context_;
  gint maxPriority_ = 0;
  std::vector<GPollFD> polled_;
};

}  // namespace platform

#endif  // PLATFORM_UI_GTK_GLIB_POLL_SOURCE_H_
