#ifndef DOWNLOAD_DOWNLOAD_H_
#define DOWNLOAD_DOWNLOAD_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "agent/agent_cache.h"
#include "agent/archive_signature_check.h"
#include "download/signature_fetch.h"
#include "platform/net/web_download.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/window.h"

// The download window's controller: downloads the install agent archive with
// progress, revalidating the agent cache (platform::Service<AgentCache>)
// against the server's ETag, and has the cache start the agent, from a new
// archive or as it holds it; the window shows how that went. The builder
// creates exactly one, connects its outlets, and makes it the delegate of the
// application and of the window. When the bundle has a public key
// (downloadSigningKey), a downloaded archive reaches the cache only with a
// valid signature from "<URL>.minisig", fetched beside the archive once the
// response shows that the cached agent is not current. Only a cached agent
// verified with that key counts as current, and the cache unpacks the very
// file that was verified. The download refuses an archive the disks cannot
// take (archive_space_check.h), for good: before its body when its length
// says so, else as it arrives.
class Download : public ui::ApplicationDelegate,
                 public ui::WindowDelegate,
                 public platform::WebDownloadDelegate {
 public:
  Download() = default;
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;

  // Applies the settings the outlets need; call once they are connected
  // and the download factory is set. Takes the download's destination from
  // downloadTo and the key archives must be signed with from
  // downloadSigningKey. False, with nothing changed, when an outlet or the
  // factory is missing.
  bool init();

  void applicationDidFinishLaunching() override;
  void windowWillClose(ui::Window* window) override;
  // Starts the download. When the cache holds an agent with a stamp, the
  // request carries it as If-None-Match; a 400 to that request is asked
  // once more without it.
  void downloadFromURL(const std::string& url);
  // Closes the window and starts a cached agent whose stamp matches the
  // response's ETag (for a 304, the stamp offered), without downloading;
  // otherwise shows the download's progress from here on, from zero: a
  // response starts the body over. A stale cached agent stays until
  // downloadDidFinish. A 304 that vouches for no cached agent fails the
  // download.
  void downloadDidReceiveResponse(platform::WebDownload* download,
                                  const platform::URLResponse& response) override;
  void downloadDidReceiveDataOfLength(platform::WebDownload* download,
                                      std::uint64_t length) override;
  // Says why the download pauses and for how long; the bar keeps what has
  // arrived. A response after it starts the count over.
  void downloadWillRetry(platform::WebDownload* download,
                         const platform::RetryNotice& notice) override;
  // Puts the bar and the status text into their final failed state. A red
  // message is the run's failure, and also goes to standard error as one
  // line: the window may be closed already, or nobody may see it.
  void failure(const std::string& message, ui::Color color);
  void downloadDidFailWithError(platform::WebDownload* download,
                                const platform::DownloadError& error) override;
  // With a key, shows that the signature is being checked, and checks it
  // once it has arrived too (see signatureDidArrive). Then shows that the
  // installer is being prepared while the cache installs the archive under
  // the response's ETag and starts it; once the agent runs, closes the
  // window, which ends the run.
  void downloadDidFinish(platform::WebDownload* download) override;
  // Takes the end of the signature's download. One that could not be
  // fetched ("fetchFailure" says why) refuses the archive at once, stopping
  // its download if it still runs; a fetched one is checked when the
  // archive is complete. The archive reaches the cache only when the
  // signature is valid for it; otherwise the run logs why, naming the
  // signature's URL, and shows in red that the signature is not valid, with
  // nothing unpacked or started.
  void signatureDidArrive(
      const std::optional<platform::DownloadError>& fetchFailure);
  // Takes what starting the agent came to: when it started, sets the
  // application's termination status to 1 (a non-zero status means exactly
  // that the agent was started), closes the window and returns true;
  // otherwise shows the window again with why in red, unless the run was
  // called off, and returns false.
  bool fireInstallAgent(AgentCache::Outcome outcome);

  // Outlets.
  ui::ProgressIndicator* progress() const { return progress_; }
  void setProgress(ui::ProgressIndicator* progress) { progress_ = progress; }
  ui::ImageView* image() const { return image_; }
  void setImage(ui::ImageView* image) { image_ = image; }
  ui::Button* cancel() const { return cancel_; }
  void setCancel(ui::Button* cancel) { cancel_ = cancel; }
  ui::TextFieldCell* downloadPercent() const { return downloadPercent_; }
  void setDownloadPercent(ui::TextFieldCell* cell) { downloadPercent_ = cell; }
  ui::Window* window() const { return window_; }
  void setWindow(ui::Window* window) { window_ = window; }

  // Where the archive's and the signature's downloads are started; it must
  // outlive this controller.
  void setDownloadFactory(platform::WebDownloadFactory* downloads) {
    downloads_ = downloads;
  }
  // The CAs both downloads trust instead of the system's; "" for the
  // system's.
  void setTrustedCAFile(const std::string& path) { trustedCAFile_ = path; }

  std::int64_t fileLength() const { return fileLength_; }
  std::int64_t bytesReceived() const { return bytesReceived_; }
  platform::WebDownload* theDownload() const { return theDownload_.get(); }
  const std::string& installAgentLocation() const { return installAgentLocation_; }
  const std::optional<std::string>& validationString() const {
    return validationString_;
  }
  // Where the archive's signature is fetched from and stored.
  std::string signatureURL() const { return requestedURL_ + ".minisig"; }
  std::string signatureLocation() const {
    return installAgentLocation_ + ".minisig";
  }

 private:
  // Starts the request for requestedURL_, offering offeredStamp_.
  void startRequest();
  // When "error" is a 400 to a request that offered a stamp, starts the
  // request again without it and returns true.
  bool retryUnconditionally(const platform::DownloadError& error);
  // Starts fetching the signature, unless it is on its way already.
  void fetchSignature();
  // Verifies the arrived signature against the complete archive, then
  // installs the archive or refuses it.
  void checkSignatureAndInstall();
  // Logs why the signature does not hold and shows it in red.
  void refuseSignature(const std::string& reason, const std::string& url);
  // Shows "status" over a bar that runs without a measure, with Cancel
  // enabled or not.
  void showWorking(const std::string& status, bool cancellable);
  void installDownloadedAgent();
  // The cache's last word before it starts the agent: takes the window off
  // the screen and says true while it is open. Signals that arrived while
  // the cache kept the loop waiting (unpacking, or waiting for another run's
  // lock) are handled first, so a close they asked for, like the user's,
  // calls the start off.
  bool hideWindowForStart();
  // failure() for a failure already reported on standard error.
  void showFailure(const std::string& message, ui::Color color);

  ui::ProgressIndicator* progress_ = nullptr;
  ui::ImageView* image_ = nullptr;
  std::int64_t fileLength_ = -1;
  std::int64_t bytesReceived_ = 0;
  ui::TextFieldCell* downloadPercent_ = nullptr;
  ui::Window* window_ = nullptr;
  platform::WebDownloadFactory* downloads_ = nullptr;
  std::string trustedCAFile_;
  std::unique_ptr<platform::WebDownload> theDownload_;
  std::string installAgentLocation_;
  ui::Button* cancel_ = nullptr;
  std::optional<std::string> validationString_;  // the response's ETag
  std::optional<std::string> offeredStamp_;      // sent as If-None-Match
  std::string requestedURL_;
  // Present when archives must be signed: hashes the archive as it arrives.
  std::optional<ArchiveSignatureCheck> signatureCheck_;
  // The id of the key archives must be signed with, which a cached agent
  // must have been verified with; nullopt when none is needed.
  std::optional<KeyId> requiredKey_;
  std::unique_ptr<SignatureFetch> signatureFetch_;
  bool signatureArrived_ = false;
  bool archiveComplete_ = false;
};

#endif  // DOWNLOAD_DOWNLOAD_H_
