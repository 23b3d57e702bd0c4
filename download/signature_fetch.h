#ifndef DOWNLOAD_SIGNATURE_FETCH_H_
#define DOWNLOAD_SIGNATURE_FETCH_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/loop/event_loop.h"
#include "platform/net/web_download.h"

// Downloads the detached signature of the agent archive into a file, as its
// own delegate, so that the agent's fetch hears only how it ended.
// A body larger than any signature file is cut off as a failure.
class SignatureFetch : public platform::WebDownloadDelegate {
 public:
  // Called once: with nullopt when the file is complete, else with why not.
  using Done =
      std::function<void(const std::optional<platform::DownloadError>&)>;

  // Starts the download of "request" from "downloads" into "destination" on
  // "loop" at once. "done" must not destroy this object.
  SignatureFetch(platform::WebDownloadFactory& downloads,
                 const platform::URLRequest& request,
                 const std::string& destination, platform::EventLoop& loop,
                 Done done);

  // Stops the download; "done" is not called after this.
  void cancel();

  void downloadDidReceiveResponse(platform::WebDownload* download,
                                  const platform::URLResponse& response) override;
  void downloadDidReceiveDataOfLength(platform::WebDownload* download,
                                      std::uint64_t length) override;
  void downloadDidFinish(platform::WebDownload* download) override;
  void downloadDidFailWithError(platform::WebDownload* download,
                                const platform::DownloadError& error) override;

 private:
  std::string url_;
  Done done_;
  std::uint64_t received_ = 0;
  std::unique_ptr<platform::WebDownload> download_;
};

#endif  // DOWNLOAD_SIGNATURE_FETCH_H_
