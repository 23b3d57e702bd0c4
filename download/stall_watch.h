#ifndef DOWNLOAD_STALL_WATCH_H_
#define DOWNLOAD_STALL_WATCH_H_

#include <functional>
#include <optional>

#include "platform/loop/event_loop.h"

// Tells when a body stops arriving: once no data has come for
// kStallNoticeSeconds, "stalled" hears how many whole seconds it has been,
// and again each second after, until data comes or the watch stops. The
// transfer's own idle time-out runs meanwhile; this only says so. Data only
// notes the time, so that a fast download sets no timer per block.
class StallWatch {
 public:
  static constexpr double kStallNoticeSeconds = 10.0;
  using Stalled = std::function<void(int seconds)>;

  StallWatch(platform::EventLoop& loop, Stalled stalled);
  ~StallWatch() { stop(); }
  StallWatch(const StallWatch&) = delete;
  StallWatch& operator=(const StallWatch&) = delete;

  // The body starts, or a piece of it arrived: the quiet counts from now.
  void sawData();
  void stop();

 private:
  void check();
  void checkAfter(double seconds);

  platform::EventLoop& loop_;
  Stalled stalled_;
  double lastData_ = 0.0;
  std::optional<platform::EventLoop::TimerId> timer_;
};

#endif  // DOWNLOAD_STALL_WATCH_H_
