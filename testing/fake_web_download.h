#ifndef TESTING_FAKE_WEB_DOWNLOAD_H_
#define TESTING_FAKE_WEB_DOWNLOAD_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/net/web_download.h"

namespace platform {

// What one scripted download was asked, and the way to play its callbacks.
// It outlives the download object, so a test can still read it after the
// code under test has dropped the download.
struct FakeDownloadRecord {
  URLRequest request;
  WebDownloadDelegate* delegate = nullptr;
  WebDownload* download = nullptr;  // nullptr once destroyed
  int cancelCalls = 0;
  bool deletesFileUponFailure = false;
  std::string destination;
  bool allowOverwrite = false;

  // Over once cancelled or destroyed: no callback follows, as with a real
  // download. Each call below delivers its callback only while the download
  // is live, and says whether it did.
  bool live() const { return download != nullptr && cancelCalls == 0; }
  bool respond(const URLResponse& response);
  bool receive(std::uint64_t length);
  bool finish();
  bool fail(const DownloadError& error);
};

// Starts downloads that transfer nothing: every start is recorded, and the
// test plays the delegate's callbacks through the record, either directly or
// from the loop with "script".
class FakeWebDownloadFactory : public WebDownloadFactory {
 public:
  std::unique_ptr<WebDownload> startDownload(const URLRequest& request,
                                             WebDownloadDelegate* delegate,
                                             EventLoop& loop) override;

  // Every download started, oldest first.
  std::vector<std::shared_ptr<FakeDownloadRecord>> started;
  // When set, run from "loop" at its next iteration after each start.
  std::function<void(FakeDownloadRecord&)> script;
};

}  // namespace platform

#endif  // TESTING_FAKE_WEB_DOWNLOAD_H_
