#include "platform/os/termination_signals.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace platform {
namespace {

constexpr int kSignals[] = {SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGALRM, SIGPIPE};

std::atomic<int> firstReceived{0};
std::atomic<bool> childRunning{false};
std::atomic<bool> passedOn{false};

// A program run through "sh -c" is the shell's child; the shell alone would
// die of the signal and leave the program running on, orphaned. So the
// signal goes to the whole process group, but only when this process leads
// it (a job of an interactive shell, a session of its own): otherwise the
// group may hold whoever started us, and the child is left to end by
// itself. Once is enough; the copy this process gets is then ignored.
void passOn(int signo) {
  if (signo != SIGTERM && signo != SIGHUP) return;
  if (!childRunning.load() || getpgrp() != getpid()) return;
  if (passedOn.exchange(true)) return;
  kill(0, signo);
}

void onSignal(int signo) {
  if (signo == SIGPIPE) return;
  int none = 0;
  firstReceived.compare_exchange_strong(none, signo);
  passOn(signo);
}

}  // namespace

TerminationSignals::TerminationSignals() {
  static_assert(sizeof kSignals / sizeof kSignals[0] == kCount);
  firstReceived.store(0);
  struct sigaction action {};
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int i = 0; i < kCount; ++i) {
    sigaction(kSignals[i], &action, &previous_[i]);
    if (previous_[i].sa_handler == SIG_IGN) {
      sigaction(kSignals[i], &previous_[i], nullptr);
    }
  }
}

TerminationSignals::~TerminationSignals() {
  for (int i = 0; i < kCount; ++i) sigaction(kSignals[i], &previous_[i], nullptr);
}

int TerminationSignals::received() { return firstReceived.load(); }

SignalsPassedOn::SignalsPassedOn() {
  passedOn.store(false);
  childRunning.store(true);
  passOn(firstReceived.load());
}

SignalsPassedOn::~SignalsPassedOn() { childRunning.store(false); }

}  // namespace platform
