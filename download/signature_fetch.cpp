#include "download/signature_fetch.h"

#include "agent/agent_signature.h"

SignatureFetch::SignatureFetch(platform::WebDownloadFactory& downloads,
                               const platform::URLRequest& request,
                               const std::string& destination,
                               platform::EventLoop& loop, Done done)
    : url_(request.url), done_(std::move(done)) {
  download_ = downloads.startDownload(request, this, loop);
  if (!download_) return;
  download_->setDeletesFileUponFailure(true);
  download_->setDestination(destination, true);
}

void SignatureFetch::cancel() {
  if (download_) download_->cancel();
}

void SignatureFetch::downloadDidReceiveResponse(platform::WebDownload*,
                                                const platform::URLResponse&) {
  // A body that starts over is counted anew.
  received_ = 0;
}

void SignatureFetch::downloadDidReceiveDataOfLength(
    platform::WebDownload* download, std::uint64_t length) {
  received_ += length;
  if (received_ <= kMaxSignatureFileSize) return;
  // Whatever a server sends here, it does not fill the disk.
  download->cancel();
  done_(platform::DownloadError{
      "The signature is larger than " +
          std::to_string(kMaxSignatureFileSize) + " bytes.",
      url_});
}

void SignatureFetch::downloadDidFinish(platform::WebDownload*) {
  done_(std::nullopt);
}

void SignatureFetch::downloadDidFailWithError(
    platform::WebDownload*, const platform::DownloadError& error) {
  done_(error);
}
