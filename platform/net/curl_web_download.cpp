#include <curl/curl.h>
#include <signal.h>
#include <strings.h>

#include <utility>

#include "platform/net/curl_handles.h"
#include "platform/net/curl_multi_driver.h"
#include "platform/net/curl_request.h"
#include "platform/net/download_file.h"
#include "platform/net/range_response.h"
#include "platform/net/response_header_reader.h"
#include "platform/net/tls_observer.h"
#include "platform/net/url_user_info.h"
#include "platform/net/web_download.h"

namespace platform {
namespace {

// The faults a later attempt may not meet again; anything else is kOther.
DownloadFailure failureOf(CURLcode result) {
  switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
      return DownloadFailure::kCannotConnect;
    case CURLE_OPERATION_TIMEDOUT:
      return DownloadFailure::kTimedOut;
    case CURLE_PARTIAL_FILE:
    case CURLE_RECV_ERROR:
    case CURLE_SEND_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
      return DownloadFailure::kConnectionLost;
    default:
      return DownloadFailure::kOther;
  }
}

// Whether "result" ended the transfer before any connection was made.
bool neverConnected(CURL* easy, CURLcode result) {
  switch (result) {
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT:
      return true;
    case CURLE_OPERATION_TIMEDOUT: {
      // Timed out while connecting rather than while waiting for data.
      curl_off_t connected = 0;
      return curl_easy_getinfo(easy, CURLINFO_CONNECT_TIME_T, &connected) ==
                 CURLE_OK &&
             connected == 0;
    }
    default:
      return false;
  }
}

// A proxy that refuses us answers the same way on every attempt, and one
// that checks a password may lock the account after a few wrong ones.
DownloadError proxyRefusal(long status) {
  std::string text = "The proxy refused the connection (HTTP " +
                     std::to_string(status) + ")";
  if (status == 407 || status == 401) {
    text += ": check the proxy's user name and password.";
  } else if (status == 403) {
    text += ": it does not let this computer reach the server.";
  } else {
    text += ".";
  }
  return DownloadError(text);
}

// libcurl's callbacks only record the response and write the body; the
// delegate hears of them from deliver(), once libcurl has returned, so that
// it may cancel or destroy the download from any of its callbacks.
class CurlDownload final : public WebDownload {
 public:
  CurlDownload(const URLRequest& request, WebDownloadDelegate* delegate,
               EventLoop& loop, CURLSH* share);
  ~CurlDownload() override { cancel(); }

  void cancel() override;
  void setDeletesFileUponFailure(bool deletes) override {
    deletesFileUponFailure_ = deletes;
  }
  void setDestination(const std::string& path, bool allowOverwrite) override {
    file_.setPath(path, allowOverwrite);
  }

 private:
  enum class State { kRunning, kEnding, kOver };

  static size_t onHeader(char* data, size_t size, size_t count, void* self);
  static size_t onBody(char* data, size_t size, size_t count, void* self);
  // Keeps the final response and creates the file for its body, or opens
  // it to append the rest. False, with failure_ set, when the transfer has
  // to be aborted.
  bool takeResponse();
  bool openFile(const URLResponse& response);

  // Hands what libcurl produced to the delegate; runs after each action.
  void deliver();
  bool deliverResponse();
  void end(CURLcode result);
  // Whether the body's only end was the connection's: HTTP/1 over TLS
  // without a length or chunks, where only a close_notify tells the end
  // from a cut.
  bool bodyEndsWithConnection() const;
  void fail(DownloadError error);
  void closeFailedFile();
  // libcurl's account of "result", on one line.
  std::string describe(CURLcode result) const;
  std::string currentUrl() const;
  // Calls the delegate. False when it cancelled or destroyed this download
  // meanwhile: then nothing more may happen here.
  template <class Call>
  bool notify(Call call);

  WebDownloadDelegate* delegate_;
  std::string url_;
  std::optional<ResumePoint> resumeFrom_;
  std::shared_ptr<BodyLimit> bodyLimit_;
  // The body's bytes in the file, a resumed body's earlier ones included.
  std::int64_t bodyLength_ = 0;
  TlsObserver tls_;  // before easy_, whose connections report to it
  CurlEasy easy_;
  CurlSlist requestFields_;
  char errorText_[CURL_ERROR_SIZE] = {};
  ResponseHeaderReader headerReader_;
  std::optional<URLResponse> response_;
  bool responseDelivered_ = false;
  std::uint64_t undeliveredBytes_ = 0;
  std::optional<DownloadError> failure_;  // why a callback aborted it
  DownloadFile file_;
  bool deletesFileUponFailure_ = false;
  State state_ = State::kRunning;
  std::shared_ptr<char> lifetime_ = std::make_shared<char>();
  std::unique_ptr<CurlMultiDriver> driver_;  // after easy_, which it uses
};

CurlDownload::CurlDownload(const URLRequest& request,
                           WebDownloadDelegate* delegate, EventLoop& loop,
                           CURLSH* share)
    : delegate_(delegate),
      url_(request.url),
      resumeFrom_(request.resumeFrom),
      bodyLimit_(request.bodyLimit),
      easy_(curl_easy_init()) {
  if (easy_) {
    setCurlRequest(easy_.get(), request, &requestFields_);
    curl_easy_setopt(easy_.get(), CURLOPT_ERRORBUFFER, errorText_);
    curl_easy_setopt(easy_.get(), CURLOPT_HEADERFUNCTION, onHeader);
    curl_easy_setopt(easy_.get(), CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_.get(), CURLOPT_WRITEFUNCTION, onBody);
    curl_easy_setopt(easy_.get(), CURLOPT_WRITEDATA, this);
    // A proxy's answer to CONNECT would otherwise read as the final response.
    curl_easy_setopt(easy_.get(), CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
    tls_.watch(easy_.get());
    curl_easy_setopt(easy_.get(), CURLOPT_SHARE, share);
  }
  // libcurl does no I/O before the loop next runs, so the destination can
  // still be set after this.
  driver_ = std::make_unique<CurlMultiDriver>(loop, easy_.get(),
                                              [this] { deliver(); });
}

size_t CurlDownload::onHeader(char* data, size_t size, size_t count,
                              void* self) {
  auto* download = static_cast<CurlDownload*>(self);
  size_t length = size * count;
  // Lines after the final response's header are trailer fields.
  if (download->response_) return length;
  bool ended = download->headerReader_.addLine({data, length});
  return ended && !download->takeResponse() ? 0 : length;
}

size_t CurlDownload::onBody(char* data, size_t size, size_t count,
                            void* self) {
  auto* download = static_cast<CurlDownload*>(self);
  size_t length = size * count;
  // Other schemes than http have no header: the body starts the response.
  if (!download->response_ && !download->takeResponse()) {
    return CURL_WRITEFUNC_ERROR;
  }
  const auto grown = download->bodyLength_ + static_cast<std::int64_t>(length);
  std::string error = download->bodyLimit_
                          ? download->bodyLimit_->refuseGrowth(grown)
                          : std::string();
  if (!error.empty() || !download->file_.write(data, length, &error)) {
    download->failure_ = DownloadError(error);
    return CURL_WRITEFUNC_ERROR;
  }
  download->bodyLength_ = grown;
  download->undeliveredBytes_ += length;
  return length;
}

bool CurlDownload::takeResponse() {
  URLResponse response = headerReader_.response();
  response.url = withoutUserInfo(currentUrl());
  // Only a proxy asks for its own credentials (plain http through it).
  if (response.statusCode == 407) {
    failure_ = proxyRefusal(response.statusCode);
    return false;
  }
  if (response.statusCode >= 400 &&
      bodyStart(resumeFrom_, response) != BodyStart::kMismatch) {
    // An error page is no body of ours, and the answer no response.
    failure_ = DownloadError{"The server answered with HTTP status " +
                                 std::to_string(response.statusCode) + ".",
                             std::nullopt, DownloadFailure::kHttpStatus,
                             response};
    return false;
  }
  curl_off_t length = -1;
  curl_easy_getinfo(easy_.get(), CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
  // libcurl decodes a body that came encoded all the same; its length is
  // the encoded one.
  response.expectedContentLength = response.hasContentCoding() ? -1 : length;
  if (!openFile(response)) return false;
  response_ = std::move(response);
  return true;
}

bool CurlDownload::openFile(const URLResponse& response) {
  const BodyStart start = bodyStart(resumeFrom_, response);
  if (start == BodyStart::kMismatch) {
    failure_ = DownloadError{
        "The server did not send the rest of the partial download.",
        std::nullopt, DownloadFailure::kRangeMismatch};
    return false;
  }
  // A 304 has no body and leaves whatever is at the destination.
  if (response.statusCode == 304) return true;
  const bool append = start == BodyStart::kAppend;
  bodyLength_ = append ? resumeFrom_->offset : 0;
  std::string error =
      bodyLimit_ ? bodyLimit_->refuseBody(response, bodyLength_) : "";
  if (error.empty() &&
      (append ? file_.openAt(bodyLength_, &error) : file_.create(&error))) {
    return true;
  }
  failure_ = DownloadError(error);
  return false;
}

void CurlDownload::deliver() {
  if (!deliverResponse()) return;
  if (undeliveredBytes_ > 0) {
    std::uint64_t length = std::exchange(undeliveredBytes_, 0);
    if (!notify([&] {
          delegate_->downloadDidReceiveDataOfLength(this, length);
        })) {
      return;
    }
  }
  if (std::optional<CURLcode> result = driver_->result()) end(*result);
}

bool CurlDownload::deliverResponse() {
  if (!response_ || responseDelivered_) return true;
  responseDelivered_ = true;
  URLResponse response = *response_;  // outlives this download if need be
  return notify(
      [&] { delegate_->downloadDidReceiveResponse(this, response); });
}

void CurlDownload::end(CURLcode result) {
  state_ = State::kEnding;
  driver_.reset();
  // For a URL it cannot parse libcurl's effective URL is its own guess at
  // one ("https://" put before it): the user set the URL as given.
  if (result == CURLE_URL_MALFORMAT) {
    return fail({describe(result), url_});
  }
  if (result != CURLE_OK) {
    if (failure_) return fail(*failure_);
    // The proxy's own answer to CONNECT: a 5xx says it could not reach the
    // server, which may pass; a 4xx is its refusal.
    long connectStatus = 0;
    curl_easy_getinfo(easy_.get(), CURLINFO_HTTP_CONNECTCODE, &connectStatus);
    if (connectStatus >= 400 && connectStatus < 500) {
      return fail(proxyRefusal(connectStatus));
    }
    std::string refused = tls_.describeRefusal();
    if (result == CURLE_PEER_FAILED_VERIFICATION && !refused.empty()) {
      return fail({refused});
    }
    DownloadError error{describe(result), std::nullopt, failureOf(result)};
    error.serverUnreachable = neverConnected(easy_.get(), result);
    return fail(std::move(error));
  }
  // An empty body of a scheme without a header has not started a response.
  if (!response_ && !takeResponse()) return fail(*failure_);
  if (bodyEndsWithConnection() && !tls_.closedCleanly()) {
    return fail({"The connection closed before the end of the body (no TLS "
                 "close_notify).",
                 std::nullopt, DownloadFailure::kConnectionLost});
  }
  std::string error;
  if (!file_.close(&error)) return fail({error});
  if (!deliverResponse()) return;
  state_ = State::kOver;
  delegate_->downloadDidFinish(this);
}

bool CurlDownload::bodyEndsWithConnection() const {
  long version = 0;
  curl_easy_getinfo(easy_.get(), CURLINFO_HTTP_VERSION, &version);
  const long status = response_->statusCode;
  return (version == CURL_HTTP_VERSION_1_0 ||
          version == CURL_HTTP_VERSION_1_1) &&
         strncasecmp(currentUrl().c_str(), "https:", 6) == 0 &&
         status / 100 == 2 && status != 204 &&
         !response_->valueForHeaderField("Content-Length") &&
         !response_->valueForHeaderField("Transfer-Encoding");
}

void CurlDownload::fail(DownloadError error) {
  closeFailedFile();
  // The URL is logged and shown: a password in it is not.
  error.failingURLString =
      withoutUserInfo(error.failingURLString.value_or(currentUrl()));
  state_ = State::kOver;
  delegate_->downloadDidFailWithError(this, error);
}

void CurlDownload::cancel() {
  if (state_ == State::kOver) return;
  state_ = State::kOver;
  driver_.reset();
  closeFailedFile();
}

void CurlDownload::closeFailedFile() {
  if (deletesFileUponFailure_) {
    file_.remove();
    return;
  }
  std::string ignored;
  file_.close(&ignored);
}

std::string CurlDownload::describe(CURLcode result) const {
  std::string text =
      errorText_[0] != '\0' ? errorText_ : curl_easy_strerror(result);
  return text.substr(0, text.find('\n'));
}

std::string CurlDownload::currentUrl() const {
  char* url = nullptr;
  if (easy_) curl_easy_getinfo(easy_.get(), CURLINFO_EFFECTIVE_URL, &url);
  return url != nullptr ? url : url_;
}

template <class Call>
bool CurlDownload::notify(Call call) {
  std::weak_ptr<char> alive = lifetime_;
  call();
  return !alive.expired() && state_ != State::kOver;
}

class CurlWebDownloadFactory final : public WebDownloadFactory {
 public:
  CurlWebDownloadFactory() {
    curl_global_init(CURL_GLOBAL_DEFAULT);
    // A retry, and the signature after the archive, skip the name lookup
    // and take up the TLS session of the attempt before. Connections are
    // not shared: each attempt watches its own connection's TLS close.
    share_.reset(curl_share_init());
    if (share_) {
      curl_share_setopt(share_.get(), CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
      curl_share_setopt(share_.get(), CURLSHOPT_SHARE,
                        CURL_LOCK_DATA_SSL_SESSION);
    }
    // A write past RLIMIT_FSIZE raises SIGXFSZ, which would end the process.
    // Caught, the write fails with EFBIG and the download fails as on a full
    // disk. A handler rather than SIG_IGN, because programs we start then
    // get the default back.
    struct sigaction action {};
    action.sa_handler = [](int) {};
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGXFSZ, &action, nullptr);
  }
  ~CurlWebDownloadFactory() override {
    share_.reset();
    curl_global_cleanup();
  }

  std::unique_ptr<WebDownload> startDownload(const URLRequest& request,
                                             WebDownloadDelegate* delegate,
                                             EventLoop& loop) override {
    return std::make_unique<CurlDownload>(request, delegate, loop,
                                          share_.get());
  }

 private:
  CurlShare share_;
};

}  // namespace

WebDownloadFactory& WebDownloadFactory::Real() {
  static CurlWebDownloadFactory factory;
  return factory;
}

}  // namespace platform
