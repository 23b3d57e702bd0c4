#ifndef DOWNLOAD_DOWNLOAD_H_
#define DOWNLOAD_DOWNLOAD_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "agent/agent_cache.h"
#include "agent/bundle_public_key.h"
#include "download/agent_fetch.h"
#include "download/transfer_detail.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/window.h"

// The download window's controller: has the install agent fetched
// (AgentFetch, with the cache platform::Service<AgentCache>) and shows how
// that goes, from the progress to the agent's start, which closes the window
// and ends the run. The builder creates exactly one, connects its outlets,
// and makes it the delegate of the application and of the window.
class Download : public ui::ApplicationDelegate,
                 public ui::WindowDelegate,
                 public AgentFetch::Observer {
 public:
  Download() = default;
  ~Download() override;
  Download(const Download&) = delete;
  Download& operator=(const Download&) = delete;

  // Applies the settings the outlets need; call once they are connected
  // and the download factory is set. Takes the download's destination from
  // downloadTo, the keys archives must be signed with from
  // downloadSigningKeys and the further URLs from downloadMirrors. False,
  // with nothing changed, when an outlet or the factory is missing.
  bool init();

  void applicationDidFinishLaunching() override;
  // Cancels the fetch and ends the run.
  void windowWillClose(ui::Window* window) override;
  // Starts fetching the agent from "url", then from the mirrors (see
  // AgentFetch).
  void downloadFromURL(const std::string& url);

  // Shows the download's progress from here on, from zero, with the sizes,
  // the speed and the time left in the detail line.
  void downloadDidReceiveResponse(std::int64_t length,
                                  const std::string& host) override;
  void downloadDidReceiveDataOfLength(std::uint64_t length) override;
  // Says in the status line how long no data has come; the next data puts
  // the progress back.
  void downloadIsStalled(int seconds) override;
  // Says why the download pauses and for how long, counting the seconds
  // down, and which attempt comes next; the bar keeps what has arrived.
  void downloadWillRetry(const platform::RetryNotice& notice) override;
  void downloadDidChangeStatus(const std::string& status) override;
  void downloadIsCheckingSignature() override;
  // Shows that the installer is being prepared.
  void downloadDidFinish() override;
  // Shows "message" in red and "advice" under it; both are on standard
  // error already.
  void downloadDidFailWithError(const std::string& message,
                                const std::string& advice) override;
  // Puts the bar and the status text into their final failed state. A red
  // message is the run's failure, and also goes to the system log (and so
  // to standard error) as one line: the window may be closed already, or
  // nobody may see it.
  void failure(const std::string& message, ui::Color color);
  // Takes the window off the screen and says true while it is open and no
  // signal that closes it waits for the loop, so that a close that came
  // while the cache kept the loop waiting (unpacking, or waiting for
  // another run's lock), like the user's, calls the start off.
  bool agentMayStart() override;
  // When the agent started, sets the application's termination status to 1
  // (a non-zero status means exactly that the agent was started) and closes
  // the window; otherwise shows the window again with why in red, unless
  // the run was called off.
  void fireInstallAgent(AgentCache::Outcome outcome) override;

  // Outlets.
  ui::ProgressIndicator* progress() const { return progress_; }
  void setProgress(ui::ProgressIndicator* progress) { progress_ = progress; }
  ui::ImageView* image() const { return image_; }
  void setImage(ui::ImageView* image) { image_ = image; }
  ui::Button* cancel() const { return cancel_; }
  void setCancel(ui::Button* cancel) { cancel_ = cancel; }
  ui::TextFieldCell* downloadPercent() const { return downloadPercent_; }
  void setDownloadPercent(ui::TextFieldCell* cell) { downloadPercent_ = cell; }
  // The line under the status: the transfer's detail, or a failure's advice.
  ui::TextFieldCell* detail() const { return detail_; }
  void setDetail(ui::TextFieldCell* cell) { detail_ = cell; }
  ui::Window* window() const { return window_; }
  void setWindow(ui::Window* window) { window_ = window; }

  // Where the archive's and the signature's downloads are started; it must
  // outlive this controller.
  void setDownloadFactory(platform::WebDownloadFactory* downloads) {
    downloads_ = downloads;
  }
  // The CAs both downloads trust instead of the system's; "" for the
  // system's.
  void setConnection(const platform::Connection& connection) {
    connection_ = connection;
  }

  // The archive's announced length (-1: none) and what has arrived of it.
  std::int64_t fileLength() const { return fileLength_; }
  std::int64_t bytesReceived() const { return bytesReceived_; }

 private:
  // failure() for a failure already reported on standard error.
  void showFailure(const std::string& message, ui::Color color);
  // Shows "status" over a bar that runs without a measure, with Cancel
  // enabled or not.
  void showWorking(const std::string& status, bool cancellable);
  // Shows the seconds left of a retry's pause, and again each second.
  void showCountdown();
  void stopCountdown();

  ui::ProgressIndicator* progress_ = nullptr;
  ui::ImageView* image_ = nullptr;
  std::int64_t fileLength_ = -1;
  std::int64_t bytesReceived_ = 0;
  ui::TextFieldCell* downloadPercent_ = nullptr;
  ui::Window* window_ = nullptr;
  platform::WebDownloadFactory* downloads_ = nullptr;
  platform::Connection connection_;
  std::unique_ptr<AgentFetch> theDownload_;
  std::string installAgentLocation_;
  ui::Button* cancel_ = nullptr;
  std::optional<SigningKeys> signingKeys_;
  std::vector<std::string> mirrors_;
  ui::TextFieldCell* detail_ = nullptr;
  TransferDetail transfer_{[] { return ui::Application::shared()->loop().now(); }};
  // A retry's pause: why, when it ends, and the timer of its next second.
  std::string retryReason_;
  double retryEnds_ = 0;
  std::optional<platform::EventLoop::TimerId> countdown_;
};

#endif  // DOWNLOAD_DOWNLOAD_H_
