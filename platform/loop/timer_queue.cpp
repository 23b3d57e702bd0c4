#include "platform/loop/timer_queue.h"

namespace platform {

EventLoop::TimerId TimerQueue::add(double deadline,
                                   EventLoop::Callback callback) {
  EventLoop::TimerId id = nextId_++;
  timers_.emplace(Key(deadline, id), std::move(callback));
  deadlines_.emplace(id, deadline);
  return id;
}

void TimerQueue::cancel(EventLoop::TimerId id) {
  auto found = deadlines_.find(id);
  if (found == deadlines_.end()) return;
  timers_.erase(Key(found->second, id));
  deadlines_.erase(found);
}

std::optional<double> TimerQueue::nextDeadline() const {
  if (timers_.empty()) return std::nullopt;
  return timers_.begin()->first.first;
}

std::optional<EventLoop::Callback> TimerQueue::takeDue(
    double time, EventLoop::TimerId addedBefore) {
  // Timers added during the batch have later deadlines, or the same deadline
  // and a larger id, than every timer added before it, so the first one that
  // is not eligible ends the search.
  auto first = timers_.begin();
  if (first == timers_.end() || first->first.first > time ||
      first->first.second >= addedBefore) {
    return std::nullopt;
  }
  EventLoop::Callback callback = std::move(first->second);
  deadlines_.erase(first->first.second);
  timers_.erase(first);
  return callback;
}

}  // namespace platform
