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

// Where an interrupted body stopped: the bytes of it already in the file,
// the strong ETag it came with, and its whole length (-1 when unknown).
struct ResumePoint {
  std::int64_t offset = 0;
  std::string etag;
  std::int64_t totalLength = -1;
};

struct URLResponse;

// Decides from inside a transfer whether its body may be written: before
// the first byte and before each piece, so that nothing it refuses reaches
// the disk. It must not call back into the download. A refusal fails the
// download, for good, with its text as the description.
class BodyLimit {
 public:
  virtual ~BodyLimit() = default;
  // "response" is about to start a body of which "offset" bytes are in the
  // file already (a resumed body's response announces only the rest). Why
  // it must not come, or "".
  virtual std::string refuseBody(const URLResponse& response,
                                 std::int64_t offset) = 0;
  // With the next piece, "length" bytes of the body would be in the file.
  // Why not, or "".
  virtual std::string refuseGrowth(std::int64_t length) = 0;
};

// How requests reach their server, as the run's environment says.
struct Connection {
  // A PEM file of the CAs to trust instead of the system's; "" for the
  // system's.
  std::string trustedCAFile;
  // Whether to follow the desktop's proxy settings (system_proxy.h): only
  // where no proxy variable is set, since libcurl follows those itself.
  bool systemProxy = false;
};

struct URLRequest {
  std::string url;
  // A transfer that receives no byte for this long fails; so does one whose
  // connection takes this long to set up.
  double timeoutInterval = 60.0;
  HeaderFields headerFields;  // sent with the request, in order
  // When set, asks for the rest of the body (Range, If-Range): a 206 that
  // continues it (see resume_point.h) is appended to the destination's
  // first "offset" bytes, any other body replaces the file, and a range
  // that does not fit fails with kRangeMismatch before a byte is written.
  std::optional<ResumePoint> resumeFrom;
  std::shared_ptr<BodyLimit> bodyLimit;  // none: any body is taken
  Connection connection;
};

struct URLResponse {
  long statusCode = 0;  // 0 for a response that is not HTTP
  std::string url;      // after redirects, without user information
  std::int64_t expectedContentLength = -1;  // -1 when none is announced
  HeaderFields headerFields;                // as received, in order

  // The value of the first header field named "name", compared without
  // regard to case; nullopt when there is none.
  std::optional<std::string> valueForHeaderField(const std::string& name) const;
  // Whether the body was sent encoded (Content-Encoding gzip, deflate ...);
  // the download decodes it, so the file holds other bytes than were sent.
  bool hasContentCoding() const;
};

// What kind of fault ended an attempt; the ones a retry may mend are told
// apart, everything else (TLS, a refused redirect, a bad URL, the local
// file) is kOther.
enum class DownloadFailure {
  kOther,
  kCannotConnect,   // refused, or the name did not resolve
  kConnectionLost,  // reset, or closed before the body was complete
  kTimedOut,        // connecting, or no byte for the request's interval
  kHttpStatus,      // an answer of 400 or above; see DownloadError::response
  kRangeMismatch,   // a resumed request got a range that does not continue
};

struct DownloadError {
  DownloadError() = default;
  DownloadError(std::string description,
                std::optional<std::string> url = std::nullopt,
                DownloadFailure kind = DownloadFailure::kOther,
                std::optional<URLResponse> answer = std::nullopt)
      : localizedDescription(std::move(description)),
        failingURLString(std::move(url)),
        failure(kind),
        response(std::move(answer)) {}

  std::string localizedDescription;
  // Without user information (a password), as it is logged.
  std::optional<std::string> failingURLString;
  DownloadFailure failure = DownloadFailure::kOther;
  // For kHttpStatus: the status and header fields of the error answer.
  std::optional<URLResponse> response;
  // The server, or its proxy, was never reached: the name did not resolve,
  // the connection was refused or unreachable, or it timed out unmade. An
  // HTTP status, a TLS failure or a proxy's refusal is an answer: false.
  bool serverUnreachable = false;
};

// Why a download waits before its next attempt, and for how long.
struct RetryNotice {
  double seconds = 0;
  std::string reason;  // short, e.g. "Connection lost"
  int attempt = 0;     // the attempt that failed, 1 for the first
  DownloadError cause;  // that attempt's failure
};

class WebDownload;

// Receives a download's progress, on the loop's thread, in this order: one
// response, any number of data callbacks, then either finish or failure. A
// failure can come before any response (an HTTP status of 400 or above
// always does). No callback follows cancel().
//
// A download that retries (net/retrying_web_download.h) keeps this order
// across its attempts:
// - downloadWillRetry comes before each wait between attempts;
// - downloadDidReceiveResponse comes once per body that starts at byte
//   zero: the first attempt's, and again only when a later attempt starts
//   the file over (the server sent the whole body instead of the rest, or
//   the entity changed). A new response means: forget every byte so far.
//   The one exception is the request's own resumeFrom: its 206 comes as the
//   first response, and the body goes on after the file's first bytes.
// - an attempt that resumes the same body delivers no response; its data
//   callbacks simply continue the count.
// - finish or failure comes once, for the download as a whole.
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
  virtual void downloadWillRetry(WebDownload* /*download*/,
                                 const RetryNotice& /*notice*/) {}
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

// Starts downloads. Abstract so tests can script them; the real one runs one
// attempt over libcurl on the given loop (https with verification always on,
// against the request's trusted CAs, the usual proxy variables, up to 10
// redirects and never from https to another scheme), without retries:
// net/retrying_web_download.h retries over it.
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
