#include "testing/fake_event_loop.h"

#include <algorithm>
#include <iterator>
#include <limits>

namespace platform {

EventLoop::TimerId FakeEventLoop::performAfterDelay(double seconds,
                                                    Callback callback) {
  return timers_.add(now_ + std::max(seconds, 0.0), std::move(callback));
}

void FakeEventLoop::watch(int fd, short, FdCallback callback) {
  watches_[fd] = std::make_shared<FdCallback>(std::move(callback));
}

void FakeEventLoop::watchSignal(int signo, Callback callback) {
  signals_[signo] = std::make_shared<Callback>(std::move(callback));
}

void FakeEventLoop::raiseSignal(int signo) {
  // Looked up on delivery, as the real loop does.
  queued_.push_back({signo, [this, signo] {
                       auto found = signals_.find(signo);
                       if (found == signals_.end()) return;
                       std::shared_ptr<Callback> callback = found->second;
                       (*callback)();
                     }});
}

bool FakeEventLoop::signalPending(int signo) {
  return std::any_of(queued_.begin(), queued_.end(),
                     [signo](const Delivery& d) { return d.signo == signo; });
}

void FakeEventLoop::makeReady(int fd, short revents) {
  queued_.push_back({0, [this, fd, revents] {
                       auto found = watches_.find(fd);
                       if (found == watches_.end()) return;
                       std::shared_ptr<FdCallback> callback = found->second;
                       (*callback)(revents);
                     }});
}

void FakeEventLoop::run(const Callback& afterEachIteration) {
  ranOutOfWork_ =
      runUntil(std::numeric_limits<double>::infinity(), afterEachIteration);
}

void FakeEventLoop::advance(double seconds) {
  double target = now_ + seconds;
  if (runUntil(target, nullptr)) now_ = std::max(now_, target);
}

bool FakeEventLoop::runUntil(double limit, const Callback& afterEachIteration) {
  while (!stopRequested_) {
    std::optional<double> deadline = timers_.nextDeadline();
    if (queued_.empty()) {
      if (!deadline || *deadline > limit) return true;
      now_ = std::max(now_, *deadline);
    }
    if (runBatch() && afterEachIteration) afterEachIteration();
  }
  stopRequested_ = false;
  return false;
}

bool FakeEventLoop::deliver(std::deque<Delivery> batch) {
  while (!batch.empty()) {
    Delivery next = std::move(batch.front());
    batch.pop_front();
    next.run();
    if (stopRequested_) {
      // What was not delivered waits for the next run(), ahead of anything
      // queued meanwhile.
      queued_.insert(queued_.begin(), std::make_move_iterator(batch.begin()),
                     std::make_move_iterator(batch.end()));
      return false;
    }
  }
  return true;
}

bool FakeEventLoop::runBatch() {
  if (source_ != nullptr) {
    std::vector<pollfd> fds;
    source_->prepare(&fds);
    source_->dispatch(fds);
    if (stopRequested_) return false;
  }
  std::deque<Delivery> queued;
  queued.swap(queued_);
  if (!deliver(std::move(queued))) return false;
  EventLoop::TimerId addedBefore = timers_.nextId();
  while (std::optional<Callback> callback = timers_.takeDue(now_, addedBefore)) {
    (*callback)();
    if (stopRequested_) return false;
  }
  return true;
}

}  // namespace platform
