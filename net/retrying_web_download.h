#ifndef NET_RETRYING_WEB_DOWNLOAD_H_
#define NET_RETRYING_WEB_DOWNLOAD_H_

#include <functional>
#include <memory>

#include "platform/net/web_download.h"

namespace net {

// Starts downloads that survive a flaky network: each runs attempts from
// "attempts" and retries the transient failures (retry_policy.h) for up to
// kRetryBudgetSeconds in all, pausing on the loop's timers in between. A
// body cut short is resumed where resume_point.h allows, else fetched from
// zero. The delegate hears one download (web_download.h says how).
class RetryingWebDownloadFactory : public platform::WebDownloadFactory {
 public:
  // Every pause is multiplied by "waitScale"; the budget counts it whole.
  // "draw" returns the spread's draws, from [0, 1); random when not given.
  RetryingWebDownloadFactory(platform::WebDownloadFactory& attempts, double waitScale,
                             std::function<double()> draw = nullptr);

  std::unique_ptr<platform::WebDownload> startDownload(const platform::URLRequest& request,
                                             platform::WebDownloadDelegate* delegate,
                                             platform::EventLoop& loop) override;

 private:
  platform::WebDownloadFactory& attempts_;
  double waitScale_;
  std::function<double()> draw_;
};

}  // namespace net

#endif  // NET_RETRYING_WEB_DOWNLOAD_H_
