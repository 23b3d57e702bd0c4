#ifndef PLATFORM_LOOP_TIMER_QUEUE_H_
#define PLATFORM_LOOP_TIMER_QUEUE_H_

#include <map>
#include <optional>
#include <unordered_map>
#include <utility>

#include "platform/loop/event_loop.h"

namespace platform {

// The pending timers of an event loop, ordered by deadline and, for equal
// deadlines, by the order they were added. Deadlines are on the loop's clock.
class TimerQueue {
 public:
  EventLoop::TimerId add(double deadline, EventLoop::Callback callback);
  // Unknown or already removed ids are ignored.
  void cancel(EventLoop::TimerId id);

  // The earliest deadline, or nullopt when no timer is pending.
  std::optional<double> nextDeadline() const;

  // The id the next add() will return. Pass it to takeDue() at the start of
  // a batch so that timers added during the batch wait for the next one.
  EventLoop::TimerId nextId() const { return nextId_; }
  // Removes and returns the first timer due by "time" among those added
  // before "addedBefore"; nullopt when there is none.
  std::optional<EventLoop::Callback> takeDue(double time,
                                             EventLoop::TimerId addedBefore);

 private:
  using Key = std::pair<double, EventLoop::TimerId>;
  std::map<Key, EventLoop::Callback> timers_;
  std::unordered_map<EventLoop::TimerId, double> deadlines_;
  EventLoop::TimerId nextId_ = 1;
};

}  // namespace platform

#endif  // PLATFORM_LOOP_TIMER_QUEUE_H_
