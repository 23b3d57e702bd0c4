#include "download/download_window.h"

#include <cstdlib>
#include <memory>

#include "agent/bundle_mirrors.h"
#include "agent/bundle_public_key.h"
#include "base/constants.h"
#include "download/window_builder.h"
#include "net/retrying_web_download.h"
#include "platform/loop/event_loop.h"
#include "platform/os/service.h"
#include "platform/ui/front_ends.h"
#include "ui/application.h"

std::string downloadTo;
std::string downloadFrom;
std::optional<SigningKeys> downloadSigningKeys;
std::vector<std::string> downloadMirrors;

bool downloadInstallAgentFromQZ(const char* destination, ErrorReporter reporter,
                                const WindowSettings& settings) {
  std::string error;
  if (!loadBundleSigningKeys(&downloadSigningKeys, &error) ||
      !loadBundleMirrors(&downloadMirrors, &error)) {
    reporter(error, true);
    return false;
  }
  // Set but empty still counts: the variable is a developer's override and is
  // taken as it stands.
  const char* url = std::getenv("QZ_INTERNAL_INSTALL_AGENT_URL");
  downloadTo = destination;
  downloadFrom = url != nullptr ? url : installAgentUrl;
  return CallNSApplicationMain(0, nullptr, settings) != 0;
}

int CallNSApplicationMain(int, const char**, const WindowSettings& settings) {
  const std::unique_ptr<platform::EventLoop> loop =
      platform::NewPollEventLoop();
  ui::Application application(loop.get());
  const std::unique_ptr<ui::FrontEnd> frontEnd = platform::NewDefaultFrontEnd(
      settings.requestedFrontEnd, settings.hasDisplay);
  net::RetryingWebDownloadFactory downloads(
      platform::Service<platform::WebDownloadFactory>::get(),
      settings.retryWaitScale);
  const std::unique_ptr<DownloadWindow> window = buildDownloadWindow(
      application, *frontEnd, downloads, settings.connection);
  if (!window) return 0;
  return application.run();
}
