#include "download/transfer_detail.h"

#include <cmath>
#include <cstdio>

namespace {

// The span the speed is measured over, and the shortest that shows one.
constexpr double kSpeedSpan = 3.0;
constexpr double kFirstSpeedAfter = 1.0;
// The speed is taken anew at most this often, so the line does not flicker.
constexpr double kSampleInterval = 0.25;

constexpr char kSeparator[] = " \u00b7 ";

// 1000-based units as the download tools print them: "512 B", "9.5 MB".
struct Unit {
  double divisor;
  const char* name;
};

Unit unitFor(double bytes) {
  if (bytes >= 1e9) return {1e9, "GB"};
  if (bytes >= 1e6) return {1e6, "MB"};
  if (bytes >= 1e3) return {1e3, "kB"};
  return {1, "B"};
}

std::string number(double bytes, const Unit& unit) {
  char text[32];
  std::snprintf(text, sizeof text, unit.divisor == 1 ? "%.0f" : "%.1f",
                bytes / unit.divisor);
  return text;
}

std::string amount(double bytes) {
  const Unit unit = unitFor(bytes);
  return number(bytes, unit) + " " + unit.name;
}

std::string duration(double seconds) {
  const long whole = std::lround(std::ceil(seconds));
  if (whole < 60) return std::to_string(whole) + " s";
  if (whole < 3600) {
    return std::to_string(whole / 60) + " min " + std::to_string(whole % 60) +
           " s";
  }
  return std::to_string(whole / 3600) + " h " +
         std::to_string(whole % 3600 / 60) + " min";
}

}  // namespace

TransferDetail::TransferDetail(std::function<double()> now)
    : now_(std::move(now)) {}

void TransferDetail::start(std::int64_t length, std::string host) {
  length_ = length;
  bytes_ = 0;
  host_ = std::move(host);
  started_ = true;
  pause();
}

void TransferDetail::pause() {
  samples_.clear();
  speed_ = -1;
  speedSteady_ = false;
}

void TransferDetail::add(std::uint64_t bytes) {
  bytes_ += static_cast<std::int64_t>(bytes);
  const double now = now_();
  if (samples_.empty()) {
    // The clock starts with the first data, not with the response: the
    // wait for the first byte is no measure of the speed.
    samples_.push_back({now, bytes_});
    return;
  }
  if (now - samples_.back().time < kSampleInterval) return;
  samples_.push_back({now, bytes_});
  // The oldest sample kept is the last one at least kSpeedSpan old.
  while (samples_.size() > 2 && now - samples_[1].time >= kSpeedSpan) {
    samples_.pop_front();
  }
  const double span = now - samples_.front().time;
  if (span < kFirstSpeedAfter) return;
  speed_ = static_cast<double>(bytes_ - samples_.front().bytes) / span;
  speedSteady_ = speedSteady_ || span >= kSpeedSpan;
}

std::string TransferDetail::sizes() const {
  if (length_ < 0) return amount(static_cast<double>(bytes_));
  // Both in the unit of the whole, so they read as a fraction.
  const Unit unit = unitFor(static_cast<double>(length_));
  return number(static_cast<double>(bytes_), unit) + " of " +
         number(static_cast<double>(length_), unit) + " " + unit.name;
}

std::string TransferDetail::from() const {
  return host_.empty() ? "" : kSeparator + std::string("from ") + host_;
}

std::string TransferDetail::text() const {
  if (!started_) return "";
  std::string line = sizes();
  if (speed_ >= 0) line += kSeparator + amount(speed_) + "/s";
  if (speedSteady_ && speed_ > 0 && length_ >= 0) {
    const double left = static_cast<double>(std::max<std::int64_t>(
        length_ - bytes_, 0));
    line += kSeparator + duration(left / speed_) + " left";
  }
  return line + from();
}

std::string TransferDetail::retryText(int attempt) const {
  std::string line = "Attempt " + std::to_string(attempt);
  if (started_) line += kSeparator + sizes();
  return line + from();
}
