#include "net/retrying_web_download.h"

#include <unistd.h>

#include <ctime>
#include <optional>
#include <random>
#include <string>
#include <utility>

#include "net/resume_point.h"
#include "net/retry_policy.h"

namespace net {
namespace {

// One download over as many attempts as it takes. It is each attempt's
// delegate and passes on what its own delegate is to hear: a resumed body's
// data without its 206, one finish or failure, and the pauses between.
class RetryingDownload final : public platform::WebDownload, private platform::WebDownloadDelegate {
 public:
  RetryingDownload(platform::WebDownloadFactory& attempts, const platform::URLRequest& request,
                   platform::WebDownloadDelegate* delegate, platform::EventLoop& loop,
                   double waitScale, std::function<double()> draw);
  ~RetryingDownload() override { cancel(); }

  void cancel() override;
  void setDeletesFileUponFailure(bool deletes) override {
    deletesFile_ = deletes;
  }
  void setDestination(const std::string& path, bool allowOverwrite) override;

 private:
  void startAttempt();
  void downloadDidReceiveResponse(platform::WebDownload* attempt,
                                  const platform::URLResponse& response) override;
  void downloadDidReceiveDataOfLength(platform::WebDownload* attempt,
                                      std::uint64_t length) override;
  void downloadDidFinish(platform::WebDownload* attempt) override;
  void downloadDidFailWithError(platform::WebDownload* attempt,
                                const platform::DownloadError& error) override;
  void giveUp(platform::DownloadError error, const std::string& note);
  // Calls the delegate. False when it cancelled or destroyed this download
  // meanwhile: then nothing more may happen here.
  template <class Call>
  bool notify(Call call);

  platform::WebDownloadFactory& attempts_;
  platform::URLRequest request_;
  platform::WebDownloadDelegate* delegate_;
  platform::EventLoop& loop_;
  double waitScale_;
  std::function<double()> draw_;
  std::string path_;
  bool allowOverwrite_ = false;
  bool deletesFile_ = false;
  std::unique_ptr<platform::WebDownload> attempt_;
  int attemptNumber_ = 0;
  double attemptStarted_ = 0;  // on the loop's clock
  // The attempts' time so far and the pauses' as the policy planned them,
  // so that the wait scale shortens the pauses but not the schedule.
  double spent_ = 0;
  bool resuming_ = false;  // the running attempt asked for the rest
  std::optional<platform::EventLoop::TimerId> pause_;
  // The response that started the body now in the file, and its bytes there.
  std::optional<platform::URLResponse> body_;
  std::int64_t received_ = 0;
  bool fileStarted_ = false;  // an attempt has written the destination
  bool over_ = false;
  std::shared_ptr<char> lifetime_ = std::make_shared<char>();
};

RetryingDownload::RetryingDownload(platform::WebDownloadFactory& attempts,
                                   const platform::URLRequest& request,
                                   platform::WebDownloadDelegate* delegate,
                                   platform::EventLoop& loop, double waitScale,
                                   std::function<double()> draw)
    : attempts_(attempts),
      request_(request),
      delegate_(delegate),
      loop_(loop),
      waitScale_(waitScale),
      draw_(std::move(draw)) {
  startAttempt();
}

void RetryingDownload::setDestination(const std::string& path,
                                      bool allowOverwrite) {
  path_ = path;
  allowOverwrite_ = allowOverwrite;
  if (attempt_) attempt_->setDestination(path, allowOverwrite);
}

void RetryingDownload::startAttempt() {
  pause_.reset();
  ++attemptNumber_;
  attemptStarted_ = loop_.now();
  platform::URLRequest request = request_;
  if (body_) request.resumeFrom = resumePointFor(*body_, received_);
  resuming_ = request.resumeFrom.has_value();
  attempt_ = attempts_.startDownload(request, this, loop_);
  // The partial file is this download's to keep or remove, and a file an
  // earlier attempt began may be started over.
  attempt_->setDeletesFileUponFailure(false);
  attempt_->setDestination(path_, allowOverwrite_ || fileStarted_);
}

void RetryingDownload::downloadDidReceiveResponse(platform::WebDownload*,
                                                  const platform::URLResponse& response) {
  const bool continued = resuming_ && response.statusCode == 206;
  // The attempt appended the rest, so the delegate's count goes on.
  if (continued && body_) return;
  body_ = response;
  received_ = 0;
  if (continued) {
    // The request's own range: the body an earlier run began goes on, and
    // a later attempt resumes it as a whole.
    received_ = request_.resumeFrom->offset;
    body_->expectedContentLength =
        response.expectedContentLength >= 0
            ? received_ + response.expectedContentLength
            : request_.resumeFrom->totalLength;
  }
  if (response.statusCode != 304) fileStarted_ = true;
  notify([&] { delegate_->downloadDidReceiveResponse(this, response); });
}

void RetryingDownload::downloadDidReceiveDataOfLength(platform::WebDownload*,
                                                      std::uint64_t length) {
  received_ += static_cast<std::int64_t>(length);
  notify([&] { delegate_->downloadDidReceiveDataOfLength(this, length); });
}

void RetryingDownload::downloadDidFinish(platform::WebDownload*) {
  over_ = true;
  delegate_->downloadDidFinish(this);
}

void RetryingDownload::downloadDidFailWithError(platform::WebDownload*,
                                                const platform::DownloadError& error) {
  spent_ += loop_.now() - attemptStarted_;
  RetryPlan plan =
      planRetry(error, attemptNumber_, spent_, draw_(), std::time(nullptr));
  if (!plan.wait) return giveUp(error, plan.giveUpNote);
  spent_ += *plan.wait;
  // A range that does not fit: the next attempt asks for the whole body.
  if (error.failure == platform::DownloadFailure::kRangeMismatch) {
    body_.reset();
    request_.resumeFrom.reset();
  }
  double seconds = *plan.wait * waitScale_;
  pause_ = loop_.performAfterDelay(seconds, [this] { startAttempt(); });
  if (*plan.wait > 0) {
    notify([&] {
      delegate_->downloadWillRetry(
          this, platform::RetryNotice{seconds, plan.reason, attemptNumber_, error});
    });
  }
}

void RetryingDownload::giveUp(platform::DownloadError error, const std::string& note) {
  over_ = true;
  if (!note.empty()) error.localizedDescription += " " + note;
  if (attemptNumber_ > 1) {
    error.localizedDescription +=
        " (after " + std::to_string(attemptNumber_) + " attempts)";
  }
  if (deletesFile_ && fileStarted_) unlink(path_.c_str());
  delegate_->downloadDidFailWithError(this, error);
}

void RetryingDownload::cancel() {
  if (over_) return;
  over_ = true;
  if (pause_) loop_.cancelDelayed(*pause_);
  if (attempt_) attempt_->cancel();
  if (deletesFile_ && fileStarted_) unlink(path_.c_str());
}

template <class Call>
bool RetryingDownload::notify(Call call) {
  std::weak_ptr<char> alive = lifetime_;
  call();
  return !alive.expired() && !over_;
}

}  // namespace

RetryingWebDownloadFactory::RetryingWebDownloadFactory(
    platform::WebDownloadFactory& attempts, double waitScale,
    std::function<double()> draw)
    : attempts_(attempts), waitScale_(waitScale), draw_(std::move(draw)) {
  if (!draw_) {
    auto random = std::make_shared<std::mt19937>(std::random_device{}());
    draw_ = [random] {
      return std::uniform_real_distribution<double>(0.0, 1.0)(*random);
    };
  }
}

std::unique_ptr<platform::WebDownload> RetryingWebDownloadFactory::startDownload(
    const platform::URLRequest& request, platform::WebDownloadDelegate* delegate,
    platform::EventLoop& loop) {
  return std::make_unique<RetryingDownload>(attempts_, request, delegate, loop,
                                            waitScale_, draw_);
}

}  // namespace net
