#ifndef TESTING_DOWNLOAD_WINDOW_FIXTURE_H_
#define TESTING_DOWNLOAD_WINDOW_FIXTURE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "download/window_builder.h"
#include "ui/application.h"
#include "testing/test_env.h"
#include "testing/fake_event_loop.h"
#include "testing/fake_front_end.h"
#include "testing/fake_agent_cache.h"
#include "testing/fake_system_log.h"
#include "testing/fake_web_download.h"
#include "platform/os/service.h"

// The download window as the builder makes it, with its controller, on a
// fake clock, a recording front end, a scripted download and a fake agent
// cache. The bundle and HOME lie in a scratch directory.
class FakeDownloadWindow {
 public:
  // The URL the window downloads from.
  static constexpr const char kUrl[] = "https://127.0.0.1/agent.zip";

  // Builds the window, with downloadTo in the scratch directory, downloadFrom
  // set to kUrl and "signingKeys" as the keys archives must be signed with.
  explicit FakeDownloadWindow(
      std::optional<SigningKeys> signingKeys = std::nullopt);

  Download& controller() { return window->controller; }
  // Runs the application until it waits for the server, and returns the
  // download it started.
  platform::FakeDownloadRecord& launch();
  // The download started last; the test fails when there is none.
  platform::FakeDownloadRecord& download();

  // True when a stop() of the application is pending: the loop then returns
  // at once instead of running out of work.
  bool stopRequested();

  testing_env::FakeBundle bundle;
  platform::FakeEventLoop loop;
  ui::Application application{&loop};
  ui::FakeFrontEnd frontEnd;
  platform::FakeWebDownloadFactory downloads;
  FakeAgentCache cache;
  platform::FakeSystemLog log;
  std::unique_ptr<DownloadWindow> window;

 private:
  platform::ScopedService<AgentCache> cacheService_{&cache};
  platform::ScopedService<platform::SystemLog> logService_{&log};
};

// A response from the download server.
platform::URLResponse serverResponse(std::optional<std::string> etag,
                                     std::int64_t length);

#endif  // TESTING_DOWNLOAD_WINDOW_FIXTURE_H_
