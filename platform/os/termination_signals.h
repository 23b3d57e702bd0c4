#ifndef PLATFORM_OS_TERMINATION_SIGNALS_H_
#define PLATFORM_OS_TERMINATION_SIGNALS_H_

#include <csignal>

namespace platform {

// Catches, for the lifetime of this object, the signals that ask the run to
// end (SIGTERM, SIGHUP, SIGINT, SIGQUIT, SIGALRM), so that it can still
// clean up, and makes SIGPIPE harmless: a write to a closed pipe fails with
// EPIPE instead of ending the process. A signal this process was started
// with ignored (nohup's SIGHUP) stays ignored. Programs it starts get the
// default actions back. An event loop that watches one of these signals
// meanwhile takes it over until it is destroyed. At most one exists.
class TerminationSignals {
 public:
  TerminationSignals();
  ~TerminationSignals();
  TerminationSignals(const TerminationSignals&) = delete;
  TerminationSignals& operator=(const TerminationSignals&) = delete;

  // The first of them caught since construction, or 0.
  static int received();

 private:
  static constexpr int kCount = 6;
  struct sigaction previous_[kCount];
};

// Marks the time a program the run waits for is running: SIGTERM and
// SIGHUP caught by TerminationSignals meanwhile go to this process's group
// too, so that the program ends with the run instead of outliving the files
// it runs from. That happens only when this process leads its group, which
// then holds nothing but it and what it started; otherwise the program is
// left to end by itself (a terminal's signals reach it anyway). One that
// arrived before is passed on at once.
class SignalsPassedOn {
 public:
  SignalsPassedOn();
  ~SignalsPassedOn();
  SignalsPassedOn(const SignalsPassedOn&) = delete;
  SignalsPassedOn& operator=(const SignalsPassedOn&) = delete;
};

}  // namespace platform

#endif  // PLATFORM_OS_TERMINATION_SIGNALS_H_
