#ifndef PLATFORM_NET_RETRYING_WEB_DOWNLOAD_H_
#define PLATFORM_NET_RETRYING_WEB_DOWNLOAD_H_

#include <functional>
#include <memory>

#include "platform/net/web_download.h"

namespace platform {

// Starts downloads that survive a flaky network: each runs attempts from
// "attempts" and retries the transient failures (retry_policy.h) up to
// kMaxDownloadAttempts in all, pausing on the loop's timers in between. A
// body cut short is resumed where resume_point.h allows, else fetched from
// zero. The delegate hears one download (web_download.h says how).
class RetryingWebDownloadFactory : public WebDownloadFactory {
 public:
  // Every pause is multiplied by "waitScale". "draw" returns the jitter
  // draws, from [0, 1); random when not given.
  RetryingWebDownloadFactory(WebDownloadFactory& attempts, double waitScale,
                             std::function<double()> draw = nullptr);

  std::unique_ptr<WebDownload> startDownload(const URLRequest& request,
                                             WebDownloadDelegate* delegate,
                                             EventLoop& loop) override;

 private:
  WebDownloadFactory& attempts_;
  double waitScale_;
  std::function<double()> draw_;
};

// __QZ_BOOTSTRAP_RETRY_WAIT_SCALE__, a number in (0, 1] that shortens the
// pauses for tests; 1 when unset or anything else.
double retryWaitScaleFromEnvironment();

}  // namespace platform

#endif  // PLATFORM_NET_RETRYING_WEB_DOWNLOAD_H_
