#include "testing/fake_web_download.h"

namespace platform {
namespace {

class FakeWebDownload : public WebDownload {
 public:
  explicit FakeWebDownload(std::shared_ptr<FakeDownloadRecord> record)
      : record_(std::move(record)) {
    record_->download = this;
  }
  ~FakeWebDownload() override { record_->download = nullptr; }

  void cancel() override { ++record_->cancelCalls; }
  void setDeletesFileUponFailure(bool deletes) override {
    record_->deletesFileUponFailure = deletes;
  }
  void setDestination(const std::string& path, bool allowOverwrite) override {
    record_->destination = path;
    record_->allowOverwrite = allowOverwrite;
  }

 private:
  std::shared_ptr<FakeDownloadRecord> record_;
};

}  // namespace

bool FakeDownloadRecord::respond(const URLResponse& response) {
  if (!live()) return false;
  delegate->downloadDidReceiveResponse(download, response);
  return true;
}

bool FakeDownloadRecord::receive(std::uint64_t length) {
  if (!live()) return false;
  delegate->downloadDidReceiveDataOfLength(download, length);
  return true;
}

bool FakeDownloadRecord::finish() {
  if (!live()) return false;
  delegate->downloadDidFinish(download);
  return true;
}

bool FakeDownloadRecord::fail(const DownloadError& error) {
  if (!live()) return false;
  delegate->downloadDidFailWithError(download, error);
  return true;
}

std::unique_ptr<WebDownload> FakeWebDownloadFactory::startDownload(
    const URLRequest& request, WebDownloadDelegate* delegate, EventLoop& loop) {
  auto record = std::make_shared<FakeDownloadRecord>();
  record->request = request;
  record->delegate = delegate;
  started.push_back(record);
  auto download = std::make_unique<FakeWebDownload>(record);
  if (script) {
    loop.performAfterDelay(0, [script = script, record] { script(*record); });
  }
  return download;
}

}  // namespace platform
