#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <cmath>
#include <deque>
#include <map>
#include <vector>

#include "platform/loop/event_loop.h"
#include "platform/loop/timer_queue.h"
#include "platform/os/unique_fd.h"

namespace platform {
namespace {

// For each signal, the write end of the self-pipe of the loop that watches
// it. The handler may do no more than write the signal's number there; the
// loop reads it and runs the callback in its own time.
struct SignalPipe {
  std::atomic<int> fd{-1};
};
SignalPipe signalPipes[NSIG];

void onSignal(int signo) {
  int savedErrno = errno;
  int fd = signalPipes[signo].fd.load();
  if (fd >= 0) {
    unsigned char byte = static_cast<unsigned char>(signo);
    ssize_t ignored = write(fd, &byte, 1);  // a full pipe loses nothing new
    (void)ignored;
  }
  errno = savedErrno;
}

class PollEventLoop final : public EventLoop {
 public:
  PollEventLoop();
  ~PollEventLoop() override;

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
  double now() const override;

 private:
  using FdCallback = std::function<void(short revents)>;
  struct Watch {
    short events;
    std::uint64_t generation;  // tells a replaced watch from the one polled
    std::shared_ptr<FdCallback> callback;
  };
  struct SignalWatch {
    std::shared_ptr<Callback> callback;
    struct sigaction previousAction;
    int previousPipe;
  };
  struct Ready {
    int fd;
    std::uint64_t generation;
    short revents;
  };

  int pollTimeoutMs() const;
  std::vector<Ready> waitForEvents(bool* signalled);
  // Each runs one kind of callback and returns false once stop() was called.
  bool runSource();
  bool runSignals();
  // Moves the signals in the pipe to arrived_.
  void readSignals();
  bool runWatches(const std::vector<Ready>& ready);
  bool runTimers();

  TimerQueue timers_;
  std::map<int, Watch> watches_;
  std::uint64_t nextGeneration_ = 1;
  std::map<int, SignalWatch> signals_;
  UniqueFd signalRead_;
  UniqueFd signalWrite_;
  // Signals read from the pipe whose callbacks have not run, oldest first.
  std::deque<int> arrived_;
  PollSource* source_ = nullptr;
  // The source's descriptors of the last wait, and whom they were for.
  PollSource* polledSource_ = nullptr;
  std::vector<pollfd> sourceFds_;
  bool stopRequested_ = false;
};

PollEventLoop::PollEventLoop() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
    signalRead_.reset(fds[0]);
    signalWrite_.reset(fds[1]);
  }
}

PollEventLoop::~PollEventLoop() {
  // The handler goes before the pipe it writes to.
  for (auto& [signo, watch] : signals_) {
    sigaction(signo, &watch.previousAction, nullptr);
    signalPipes[signo].fd.store(watch.previousPipe);
  }
}

EventLoop::TimerId PollEventLoop::performAfterDelay(double seconds,
                                                    Callback callback) {
  return timers_.add(now() + std::max(seconds, 0.0), std::move(callback));
}

void PollEventLoop::watch(int fd, short events, FdCallback callback) {
  watches_[fd] = Watch{events, nextGeneration_++,
                       std::make_shared<FdCallback>(std::move(callback))};
}

void PollEventLoop::watchSignal(int signo, Callback callback) {
  if (signo <= 0 || signo >= NSIG || !signalWrite_.valid()) return;
  auto shared = std::make_shared<Callback>(std::move(callback));
  auto found = signals_.find(signo);
  if (found != signals_.end()) {
    found->second.callback = std::move(shared);
    return;
  }
  struct sigaction previous;
  sigaction(signo, nullptr, &previous);
  // Ignored by whoever started us, as nohup ignores SIGHUP: it stays so.
  if ((previous.sa_flags & SA_SIGINFO) == 0 && previous.sa_handler == SIG_IGN) {
    return;
  }
  SignalWatch& watch = signals_[signo];
  watch.callback = std::move(shared);
  watch.previousPipe = signalPipes[signo].fd.exchange(signalWrite_.get());
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(signo, &action, &watch.previousAction);
}

double PollEventLoop::now() const {
  using Seconds = std::chrono::duration<double>;
  return std::chrono::duration_cast<Seconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

void PollEventLoop::run(const Callback& afterEachIteration) {
  while (!stopRequested_) {
    bool signalled = false;
    std::vector<Ready> ready = waitForEvents(&signalled);
    bool carriedOn = runSource() &&
                     ((!signalled && arrived_.empty()) || runSignals()) &&
                     runWatches(ready) && runTimers();
    if (carriedOn && afterEachIteration) afterEachIteration();
  }
  stopRequested_ = false;
}

int PollEventLoop::pollTimeoutMs() const {
  // Signals already taken from the pipe wake nothing up.
  if (!arrived_.empty()) return 0;
  std::optional<double> deadline = timers_.nextDeadline();
  if (!deadline) return -1;
  // Rounded up: waking before the deadline would only poll again at once.
  double ms = std::ceil((*deadline - now()) * 1000.0);
  if (ms <= 0) return 0;
  return ms >= INT_MAX ? INT_MAX : static_cast<int>(ms);
}

std::vector<PollEventLoop::Ready> PollEventLoop::waitForEvents(
    bool* signalled) {
  std::vector<pollfd> fds;
  std::vector<std::uint64_t> generations;
  fds.push_back({signalRead_.get(), POLLIN, 0});
  for (const auto& [fd, watch] : watches_) {
    fds.push_back({fd, watch.events, 0});
    generations.push_back(watch.generation);
  }
  int timeout = pollTimeoutMs();
  const std::size_t ownFds = fds.size();
  sourceFds_.clear();
  polledSource_ = source_;
  if (source_ != nullptr) {
    const int sourceTimeout = source_->prepare(&sourceFds_);
    if (sourceTimeout >= 0 && (timeout < 0 || sourceTimeout < timeout)) {
      timeout = sourceTimeout;
    }
    fds.insert(fds.end(), sourceFds_.begin(), sourceFds_.end());
  }
  // EINTR needs no handling: a signal of ours is in the pipe by now, and
  // timers are checked whatever woke us.
  int count = poll(fds.data(), fds.size(), timeout);
  std::vector<Ready> ready;
  if (count <= 0) return ready;
  for (std::size_t i = 0; i < sourceFds_.size(); ++i) {
    sourceFds_[i].revents = fds[ownFds + i].revents;
  }
  *signalled = fds[0].revents != 0;
  for (size_t i = 1; i < ownFds; ++i) {
    if (fds[i].revents != 0) {
      ready.push_back({fds[i].fd, generations[i - 1], fds[i].revents});
    }
  }
  return ready;
}

bool PollEventLoop::runSource() {
  // A source that was replaced since the wait does not hear of it.
  if (polledSource_ != nullptr && polledSource_ == source_) {
    polledSource_->dispatch(sourceFds_);
  }
  polledSource_ = nullptr;
  return !stopRequested_;
}

bool PollEventLoop::signalPending(int signo) {
  readSignals();
  return std::find(arrived_.begin(), arrived_.end(), signo) != arrived_.end();
}

void PollEventLoop::readSignals() {
  unsigned char signo;
  while (read(signalRead_.get(), &signo, 1) == 1) arrived_.push_back(signo);
}

bool PollEventLoop::runSignals() {
  readSignals();
  // One at a time, so that signals behind a stop() wait for the next run().
  while (!arrived_.empty()) {
    const int signo = arrived_.front();
    arrived_.pop_front();
    auto found = signals_.find(signo);
    if (found == signals_.end()) continue;
    std::shared_ptr<Callback> callback = found->second.callback;
    (*callback)();
    if (stopRequested_) return false;
  }
  return true;
}

bool PollEventLoop::runWatches(const std::vector<Ready>& ready) {
  for (const Ready& event : ready) {
    // An earlier callback may have removed or replaced this watch.
    auto found = watches_.find(event.fd);
    if (found == watches_.end() ||
        found->second.generation != event.generation) {
      continue;
    }
    // Held here so that the callback may unwatch its own descriptor.
    std::shared_ptr<FdCallback> callback = found->second.callback;
    (*callback)(event.revents);
    if (stopRequested_) return false;
  }
  return true;
}

bool PollEventLoop::runTimers() {
  double time = now();
  EventLoop::TimerId addedBefore = timers_.nextId();
  while (std::optional<Callback> callback = timers_.takeDue(time, addedBefore)) {
    (*callback)();
    if (stopRequested_) return false;
  }
  return true;
}

}  // namespace

std::unique_ptr<EventLoop> NewPollEventLoop() {
  return std::make_unique<PollEventLoop>();
}

}  // namespace platform
