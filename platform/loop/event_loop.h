#ifndef PLATFORM_LOOP_EVENT_LOOP_H_
#define PLATFORM_LOOP_EVENT_LOOP_H_

#include <poll.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace platform {

// A single-threaded loop that sleeps until a watched descriptor is ready, a
// timer is due or a watched signal arrives, then runs the callbacks. Abstract
// so tests can run it on a fake clock (FakeEventLoop); the real one sleeps in
// poll(2). Callbacks run on the thread that called run() and may call any
// method here, stop() included.
class EventLoop {
 public:
  using Callback = std::function<void()>;
  using TimerId = std::uint64_t;

  // Events of another library's loop (a toolkit's main context, say) served
  // by this one: their descriptors are polled with the loop's own, and the
  // wait ends no later than the source asks.
  class PollSource {
   public:
    virtual ~PollSource() = default;
    // Called before each wait: appends the descriptors to poll to "*fds"
    // (revents 0) and returns the longest wait in milliseconds, -1 for none.
    virtual int prepare(std::vector<pollfd>* fds) = 0;
    // Called after each wait, before any other callback of the iteration,
    // with the descriptors of prepare and their revents (all 0 when the wait
    // timed out). Runs the source's own callbacks.
    virtual void dispatch(const std::vector<pollfd>& fds) = 0;
  };

  virtual ~EventLoop() = default;

  // Runs "callback" once, "seconds" from now (0 means at the next iteration).
  // Timers due at the same time run in the order they were added.
  virtual TimerId performAfterDelay(double seconds, Callback callback) = 0;
  // Forgets a timer that has not run yet; unknown ids are ignored.
  virtual void cancelDelayed(TimerId id) = 0;

  // Calls "callback" with poll(2)'s revents whenever "fd" is ready for
  // "events" (POLLIN, POLLOUT). Replaces an earlier watch of the same fd.
  virtual void watch(int fd, short events,
                     std::function<void(short revents)> callback) = 0;
  virtual void unwatch(int fd) = 0;

  // Calls "callback" from the loop (never from the signal handler) each time
  // "signo" is delivered while the loop exists. A signal ignored when it is
  // first watched (nohup's SIGHUP) stays ignored.
  virtual void watchSignal(int signo, Callback callback) = 0;
  // True when watched "signo" has arrived and its callback has not run yet.
  // Runs nothing, so that a callback that kept the loop busy (a child
  // waited for) can ask without the loop's other callbacks running inside it.
  virtual bool signalPending(int signo) = 0;

  // Serves "source" from the next iteration on; nullptr serves none. There
  // is one source at a time, and it must outlive its serving.
  virtual void setPollSource(PollSource* source) = 0;

  // Runs until stop() is called, calling "afterEachIteration" (when set)
  // once after each batch of callbacks.
  virtual void run(const Callback& afterEachIteration) = 0;
  // Makes run() return once the callback now running has returned.
  virtual void stop() = 0;

  // Monotonic time in seconds.
  virtual double now() const = 0;
};

std::unique_ptr<EventLoop> NewPollEventLoop();

}  // namespace platform

#endif  // PLATFORM_LOOP_EVENT_LOOP_H_
