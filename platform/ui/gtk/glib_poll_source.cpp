#include "platform/ui/gtk/glib_poll_source.h"

namespace platform {

GlibPollSource::GlibPollSource() : context_(g_main_context_default()) {
  g_main_context_acquire(context_);
}

GlibPollSource::~GlibPollSource() { g_main_context_release(context_); }

// The steps of one iteration of g_main_context_iterate, with the loop's
// poll(2) in place of GLib's own.
int GlibPollSource::prepare(std::vector<pollfd>* fds) {
  g_main_context_prepare(context_, &maxPriority_);
  gint timeout = -1;
  polled_.resize(8);
  gint count;
  while ((count = g_main_context_query(context_, maxPriority_, &timeout,
                                       polled_.data(),
                                       static_cast<gint>(polled_.size()))) >
         static_cast<gint>(polled_.size())) {
    polled_.resize(static_cast<std::size_t>(count));
  }
  polled_.resize(static_cast<std::size_t>(count));
  for (const GPollFD& polled : polled_) {
    fds->push_back({polled.fd, static_cast<short>(polled.events), 0});
  }
  return timeout;
}

void GlibPollSource::dispatch(const std::vector<pollfd>& fds) {
  for (std::size_t i = 0; i < polled_.size() && i < fds.size(); ++i) {
    polled_[i].revents = static_cast<gushort>(fds[i].revents);
  }
  if (g_main_context_check(context_, maxPriority_, polled_.data(),
                           static_cast<gint>(polled_.size()))) {
    g_main_context_dispatch(context_);
  }
}

}  // namespace platform
