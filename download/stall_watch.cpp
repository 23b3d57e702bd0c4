#include "download/stall_watch.h"

#include <cmath>
#include <utility>

StallWatch::StallWatch(platform::EventLoop& loop, Stalled stalled)
    : loop_(loop), stalled_(std::move(stalled)) {}

void StallWatch::sawData() {
  lastData_ = loop_.now();
  if (!timer_) checkAfter(kStallNoticeSeconds);
}

void StallWatch::stop() {
  if (timer_) loop_.cancelDelayed(*timer_);
  timer_.reset();
}

void StallWatch::checkAfter(double seconds) {
  timer_ = loop_.performAfterDelay(seconds, [this] {
    timer_.reset();
    check();
  });
}

void StallWatch::check() {
  const double quiet = loop_.now() - lastData_;
  if (quiet + 1e-6 < kStallNoticeSeconds) {
    checkAfter(kStallNoticeSeconds - quiet);
    return;
  }
  // Rounded, so that a tick a hair early does not say one second less.
  const int seconds = static_cast<int>(std::lround(quiet));
  checkAfter(1.0);
  stalled_(seconds);
}
