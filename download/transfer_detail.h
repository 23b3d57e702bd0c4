#ifndef DOWNLOAD_TRANSFER_DETAIL_H_
#define DOWNLOAD_TRANSFER_DETAIL_H_

#include <cstdint>
#include <deque>
#include <functional>
#include <string>

// The download window's detail line, as the command-line download tools show
// it: "9.5 of 28.6 MB · 2.0 MB/s · 10 s left · from dl.example.com", or
// "9.5 MB · 2.0 MB/s · from dl.example.com" without a length. The speed is
// measured over the last few seconds, so that one slow block does not make
// it jump; it shows after a second of data, and the time left only once the
// speed has been measured over the whole span.
class TransferDetail {
 public:
  // "now" tells the time in seconds; only differences matter.
  explicit TransferDetail(std::function<double()> now);

  // A body of "length" bytes (-1: not announced) starts from its first
  // byte, from "host" ("" when unknown).
  void start(std::int64_t length, std::string host);
  void add(std::uint64_t bytes);
  // The transfer pauses: the speed is measured anew once data comes again.
  void pause();

  // The line for the transfer as it goes; "" before any body started.
  std::string text() const;
  // The line while the transfer waits for attempt "attempt" (2 for the
  // first retry): "Attempt 2 · 9.5 of 28.6 MB · from dl.example.com".
  std::string retryText(int attempt) const;

 private:
  struct Sample {
    double time;
    std::int64_t bytes;
  };
  std::string sizes() const;
  std::string from() const;

  std::function<double()> now_;
  std::int64_t length_ = -1;
  std::int64_t bytes_ = 0;
  std::string host_;
  bool started_ = false;
  // The totals at moments of the last few seconds, oldest first.
  std::deque<Sample> samples_;
  double speed_ = -1;        // bytes a second; -1 until measured
  bool speedSteady_ = false;  // measured over the whole span
};

#endif  // DOWNLOAD_TRANSFER_DETAIL_H_
