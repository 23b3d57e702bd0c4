#ifndef TESTING_DOWNLOAD_WINDOW_FIXTURE_H_
#define TESTING_DOWNLOAD_WINDOW_FIXTURE_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "download/window_builder.h"
#include "platform/ui/application.h"
#include "testing/test_env.h"
#include "testing/fake_event_loop.h"
#include "testing/fake_front_end.h"
#include "testing/fake_process_info.h"
#include "testing/fake_system_log.h"
#include "testing/fake_task_launcher.h"
#include "testing/fake_web_download.h"
#include "platform/os/service.h"

// The download window as the builder makes it, with its controller, on a
// fake clock, a recording front end and a scripted download. The agent is
// recorded, not started. Files are real: HOME (and with it the cache) and
// the bundle's resources lie in a scratch directory, and unpacking runs the
// real unzip tool.
class FakeDownloadWindow {
 public:
  // The URL the window downloads from.
  static constexpr const char kUrl[] = "https://127.0.0.1/agent.zip";

  // Builds the window, with downloadTo in the scratch directory, downloadFrom
  // set to kUrl and the cache's agent directory made but empty.
  FakeDownloadWindow();

  Download& controller() { return window->controller; }
  // Runs the application until it waits for the server, and returns the
  // download it started.
  platform::FakeDownloadRecord& launch();
  // The download started last; the test fails when there is none.
  platform::FakeDownloadRecord& download();

  std::string cacheDir() const;
  // The cache's agent directory, without a trailing separator.
  std::string agentDir() const;
  // True when a stop() of the application is pending: the loop then returns
  // at once instead of running out of work.
  bool stopRequested();

  testing_env::FakeBundle bundle;
  platform::FakeEventLoop loop;
  platform::Application application{&loop};
  platform::FakeFrontEnd frontEnd;
  platform::FakeWebDownloadFactory downloads;
  platform::FakeTaskLauncher tasks;
  platform::FakeSystemLog log;
  platform::FakeProcessInfo process{{"/Applications/X.app/Contents/MacOS/X"}};
  std::unique_ptr<DownloadWindow> window;

 private:
  platform::ScopedService<platform::WebDownloadFactory> downloadService_{
      &downloads};
  platform::ScopedService<platform::TaskLauncher> taskService_{&tasks};
  platform::ScopedService<platform::SystemLog> logService_{&log};
  platform::ScopedService<platform::ProcessInfo> processService_{&process};
};

// Puts an agent whose launcher is testing_env::kRecordingLauncher into the
// cache below HOME, stamped with "stamp" (no stamp when it is empty).
void cacheAgent(const std::string& stamp);

// A response from the download server.
platform::URLResponse serverResponse(std::optional<std::string> etag,
                                     std::int64_t length);

#endif  // TESTING_DOWNLOAD_WINDOW_FIXTURE_H_
