#include "ui/application.h"

#include <csignal>
#include <memory>
#include <string>
#include <vector>

#include "gtest/gtest.h"
#include "ui/controls.h"
#include "ui/front_end.h"
#include "ui/window.h"
#include "testing/fake_event_loop.h"
#include "testing/fake_front_end.h"

namespace ui {
namespace {

// A window like the download window: its delegate ends the run when it
// closes, and records what reached it.
struct WindowRun : ApplicationDelegate, WindowDelegate {
  WindowRun() {
    window.addControl(&status);
    window.setDelegate(this);
    application.setDelegate(this);
    application.setMainWindow(&window);
  }
  void applicationDidFinishLaunching() override {
    events.push_back(window.isVisible() ? "launched, shown" : "launched");
    status.setStringValue("Connecting");
  }
  void windowWillClose(Window*) override {
    events.push_back("closed");
    application.stop();
  }

  platform::FakeEventLoop loop;
  Application application{&loop};
  Window window{"Installer"};
  TextFieldCell status;
  std::vector<std::string> events;
};

TEST(ApplicationTest, RunLaunchesOnceThenLoopsUntilStopAndReturnsTheStatus) {
  WindowRun run;
  FakeFrontEnd frontEnd;
  run.window.setFrontEnd(&frontEnd);
  EXPECT_EQ(Application::shared(), &run.application);

  // Scheduled before the run starts, yet delivered after the launch.
  run.loop.performAfterDelay(1, [&run, &frontEnd] {
    run.events.push_back("timer");
    // What the launch changed was drawn without waiting for the loop.
    EXPECT_EQ(frontEnd.lastDrawing().status, "Connecting");
    run.status.setStringValue("changed");  // drawn by the display pass
  });
  run.loop.performAfterDelay(2, [&run] {
    run.application.setTerminationStatus(7);
    run.application.stop();
  });
  run.loop.performAfterDelay(3, [&run] { run.events.push_back("late"); });

  EXPECT_EQ(run.application.run(), 7);
  EXPECT_FALSE(run.loop.ranOutOfWork());
  EXPECT_EQ(run.events, (std::vector<std::string>{"launched, shown", "timer"}));
  EXPECT_EQ(frontEnd.shown, 1);
  ASSERT_EQ(frontEnd.drawings.size(), 3u);
  EXPECT_EQ(frontEnd.lastDrawing().status, "changed");
}

TEST(ApplicationTest, StopDuringTheLaunchEndsTheRun) {
  struct StopAtOnce : ApplicationDelegate {
    void applicationDidFinishLaunching() override {
      Application::shared()->stop();
    }
  } delegate;
  platform::FakeEventLoop loop;
  Application application(&loop);
  application.setDelegate(&delegate);
  bool timerRan = false;
  loop.performAfterDelay(0, [&timerRan] { timerRan = true; });
  EXPECT_EQ(application.run(), 0);
  EXPECT_FALSE(timerRan);
}

TEST(ApplicationTest, SignalsCloseTheWindowAsItsCloseBoxWould) {
  for (int signo : {SIGINT, SIGTERM}) {
    WindowRun run;
    std::unique_ptr<FrontEnd> frontEnd = NewHeadlessFrontEnd();
    run.window.setFrontEnd(frontEnd.get());
    run.loop.performAfterDelay(0,
                               [&run, signo] { run.loop.raiseSignal(signo); });
    run.application.run();
    EXPECT_FALSE(run.loop.ranOutOfWork()) << signo;
    EXPECT_EQ(run.events,
              (std::vector<std::string>{"launched, shown", "closed"}))
        << signo;
  }
}

TEST(ApplicationTest, HeadlessClosesTheWindowOnceItShowsAFailure) {
  // Nobody can close a window without a screen, so a red failure, which
  // waits for its window to be closed, must end the run by itself.
  WindowRun run;
  std::unique_ptr<FrontEnd> frontEnd = NewHeadlessFrontEnd();
  run.window.setFrontEnd(frontEnd.get());
  run.loop.performAfterDelay(
      1, [&run] { run.status.setStringValue("Downloading  50%"); });
  run.loop.performAfterDelay(2, [&run] {
    run.status.setStringValue("Failed.");
    run.status.setTextColor(Color::kRed);
    run.window.displayIfNeeded();
    // Not from inside the drawing: the window closes from the loop.
    run.events.push_back(run.window.isVisible() ? "failed, shown" : "failed");
  });
  run.application.run();
  EXPECT_FALSE(run.loop.ranOutOfWork());
  EXPECT_EQ(run.events, (std::vector<std::string>{"launched, shown",
                                                  "failed, shown", "closed"}));
  EXPECT_EQ(run.loop.now(), 2);
}

}  // namespace
}  // namespace ui
