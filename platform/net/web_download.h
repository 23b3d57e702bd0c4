#ifndef PLATFORM_NET_WEB_DOWNLOAD_H_
#define PLATFORM_NET_WEB_DOWNLOAD_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/loop/event_loop.h"

namespace platform {

using HeaderFields = std::vector<std::pair<std::string, std::string>>;

struct URLRequest {
  std::string url;
  // A transfer that receives no byte for this long fails; so does one whose
  // connection takes this long to set up.
  double timeoutInterval = 60.0;
  HeaderFields headerFields;  // sent with the request, in order
};

struct URLResponse {
  long statusCode = 0;  // 0 for a response that is not HTTP
  std::string url;      // after redirects
  std::int64_t expectedContentLength = -1;  // -1 when none is announced
  HeaderFields headerFields;                // as received, in order

  // The value of the first header field named "name", compared without
  // regard to case; nullopt when there is none.
  std::optional<std::string> valueForHeaderField(const std::string& name) const;
};

struct DownloadError {
  std::string localizedDescription;
  std::optional<std::string> failingURLString;
};

class WebDownload;

// Receives a download's progress, on the loop's thread, in this order: one
// response, any number of data callbacks, then either finish or failure. A
// failure can come before any response (an HTTP status of 400 or above
// always does). No callback follows cancel().
class WebDownloadDelegate {
 public:
  virtual ~WebDownloadDelegate() = default;
  virtual void downloadDidReceiveResponse(WebDownload* download,
                                          const URLResponse& response) = 0;
  virtual void downloadDidReceiveDataOfLength(WebDownload* download,
                                              std::uint64_t length) = 0;
  virtual void downloadDidFinish(WebDownload* download) = 0;
  virtual void downloadDidFailWithError(WebDownload* download,
                                        const DownloadError& error) = 0;
};

// One transfer of a URL into a file, written as it arrives. Destroying it
// cancels a transfer that is still running.
class WebDownload {
 public:
  virtual ~WebDownload() = default;
  // Stops the transfer; a finished, failed or cancelled one is unaffected.
  // With setDeletesFileUponFailure(true) the partial file is removed.
  virtual void cancel() = 0;
  virtual void setDeletesFileUponFailure(bool deletes) = 0;
  // Where the body goes. Must be set before the loop next runs.
  virtual void setDestination(const std::string& path, bool allowOverwrite) = 0;
};

// Starts downloads. Abstract so tests can script them; the real one runs
// libcurl on the given loop (https with verification always on, SSL_CERT_FILE
// naming the trusted CAs when set and not empty, the usual proxy variables,
// up to 10 redirects and never from https to another scheme).
class WebDownloadFactory {
 public:
  virtual ~WebDownloadFactory() = default;
  // The transfer starts at once; callbacks arrive from "loop", which must
  // outlive the download.
  virtual std::unique_ptr<WebDownload> startDownload(
      const URLRequest& request, WebDownloadDelegate* delegate,
      EventLoop& loop) = 0;

  static WebDownloadFactory& Real();
};

}  // namespace platform

#endif  // PLATFORM_NET_WEB_DOWNLOAD_H_
