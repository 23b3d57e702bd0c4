#ifndef TESTING_FAKE_EVENT_LOOP_H_
#define TESTING_FAKE_EVENT_LOOP_H_

#include <deque>
#include <map>

#include "platform/loop/event_loop.h"
#include "platform/loop/timer_queue.h"

namespace platform {

// An EventLoop for tests, on a fake clock that starts at 0. run() never
// sleeps: it moves the clock straight to the next timer. Unlike the real
// loop it also returns when nothing is left to do, which ranOutOfWork()
// tells apart from a stop(). Descriptors are never polled and signals never
// caught: makeReady() and raiseSignal() stand in for them. A poll source is
// served once per batch, as after a wait that timed out.
class FakeEventLoop : public EventLoop {
 public:
  TimerId performAfterDelay(double seconds, Callback callback) override;
  void cancelDelayed(TimerId id) override { timers_.cancel(id); }
  void watch(int fd, short events,
             std::function<void(short revents)> callback) override;
  void unwatch(int fd) override { watches_.erase(fd); }
  void watchSignal(int signo, Callback callback) override;
  void setPollSource(PollSource* source) override { source_ = source; }
  bool signalPending(int signo) override;
  void run(const Callback& afterEachIteration) override;
  void stop() override { stopRequested_ = true; }
  double now() const override { return now_; }

  // Runs the timers due within "seconds" from now, each at its own time,
  // then sets the clock to that time. Returns early, with the clock at the
  // timer that called stop(), when one does.
  void advance(double seconds);
  // Delivers "signo" to its watcher at the next iteration.
  void raiseSignal(int signo);
  // Reports "fd" ready with "revents" to its watcher at the next iteration.
  void makeReady(int fd, short revents);

  bool isWatching(int fd) const { return watches_.count(fd) != 0; }
  // True when the last run() returned for want of work, not for a stop().
  bool ranOutOfWork() const { return ranOutOfWork_; }

 private:
  using FdCallback = std::function<void(short revents)>;
  // A raised signal or a ready descriptor, in the order they came.
  struct Delivery {
    int signo;  // 0 for a ready descriptor
    Callback run;
  };
  // Runs "batch" in order; on a stop(), puts what is left back in front of
  // the queue. False when a callback called stop().
  bool deliver(std::deque<Delivery> batch);
  // Runs iterations while something is due by "limit". False when it
  // returned for a stop().
  bool runUntil(double limit, const Callback& afterEachIteration);
  // Runs the queued signals and readiness, then the timers due now.
  bool runBatch();

  double now_ = 0;
  TimerQueue timers_;
  std::map<int, std::shared_ptr<FdCallback>> watches_;
  std::map<int, std::shared_ptr<Callback>> signals_;
  std::deque<Delivery> queued_;
  PollSource* source_ = nullptr;
  bool stopRequested_ = false;
  bool ranOutOfWork_ = false;
};

}  // namespace platform

#endif  // TESTING_FAKE_EVENT_LOOP_H_
