#include "ui/window.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <optional>
#include <string>

#include "gtest/gtest.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "testing/fake_event_loop.h"
#include "testing/fake_front_end.h"
#include "testing/fake_main_bundle.h"
#include "platform/os/service.h"

namespace ui {
namespace {

struct ClosingCounter : WindowDelegate {
  void windowWillClose(Window* window) override {
    ++closes;
    window->close();  // a delegate closing again must not recurse
  }
  int closes = 0;
};

TEST(WindowTest, DrawsOnlyWhatChangedWhileShown) {
  // Given a shown window, a display pass draws only after a control's
  // visible state changed, and a setter repeating a value changes nothing.
  platform::FakeEventLoop loop;
  Application application(&loop);
  FakeFrontEnd frontEnd;
  Window window("Installer");
  TextFieldCell status;
  ProgressIndicator bar;
  Button cancel("Cancel");
  window.addControl(&status);
  window.addControl(&bar);
  window.addControl(&cancel);
  window.setFrontEnd(&frontEnd);

  window.orderFront();
  window.displayIfNeeded();
  EXPECT_EQ(frontEnd.shown, 1);
  EXPECT_EQ(frontEnd.drawings.size(), 1u);

  bar.setDoubleValue(0);
  status.setStringValue("");
  cancel.setEnabled(true);
  window.displayIfNeeded();
  EXPECT_EQ(frontEnd.drawings.size(), 1u);

  bar.setMaxValue(1000);
  bar.incrementBy(250);
  bar.displayIfNeeded();  // the bar has its window drawn at once
  ASSERT_EQ(frontEnd.drawings.size(), 2u);
  EXPECT_EQ(frontEnd.lastDrawing().value, 250);
  EXPECT_EQ(frontEnd.lastDrawing().maxValue, 1000);

  status.setTextColor(Color::kRed);
  bar.startAnimation();
  cancel.setEnabled(false);
  window.displayIfNeeded();
  window.displayIfNeeded();
  ASSERT_EQ(frontEnd.drawings.size(), 3u);
  EXPECT_EQ(frontEnd.lastDrawing().statusColor, Color::kRed);
  EXPECT_TRUE(frontEnd.lastDrawing().animating);
  EXPECT_FALSE(frontEnd.lastDrawing().buttonEnabled);

  // A disabled button ignores clicks; an enabled one runs its action.
  int clicks = 0;
  cancel.setAction([&clicks] { ++clicks; });
  cancel.performClick();
  cancel.setEnabled(true);
  cancel.performClick();
  EXPECT_EQ(clicks, 1);

  window.close();
  status.setStringValue("after the close");
  window.displayIfNeeded();
  EXPECT_EQ(frontEnd.drawings.size(), 3u);
}

TEST(WindowTest, CloseNotifiesTheDelegateAndTheFrontEndOnce) {
  platform::FakeEventLoop loop;
  Application application(&loop);
  FakeFrontEnd frontEnd;
  ClosingCounter delegate;
  Window window("Installer");
  window.setFrontEnd(&frontEnd);
  window.setDelegate(&delegate);

  window.close();  // never shown: nothing to close
  EXPECT_EQ(delegate.closes, 0);

  window.orderFront();
  window.close();
  window.close();
  EXPECT_EQ(delegate.closes, 1);
  EXPECT_EQ(frontEnd.closed, 1);
  EXPECT_FALSE(window.isVisible());

  // Ordered out, the window leaves the screen but stays open: shown again,
  // or closed without being hidden a second time.
  window.orderFront();
  window.orderOut();
  EXPECT_FALSE(window.isVisible());
  EXPECT_EQ(delegate.closes, 1);
  window.orderFront();
  EXPECT_TRUE(window.isVisible());
  EXPECT_EQ(frontEnd.shown, 3);
  window.orderOut();
  window.close();
  EXPECT_EQ(delegate.closes, 2);
  EXPECT_EQ(frontEnd.closed, 3);
}

TEST(WindowTest, ImagesAreFoundByNameInTheBundlesResources) {
  char resources[] = "/tmp/window_test.XXXXXX";
  ASSERT_NE(mkdtemp(resources), nullptr);
  const std::string splash = std::string(resources) + "/splash.png";
  std::ofstream(splash) << "not checked";
  platform::FakeMainBundle bundle;
  platform::ScopedService<platform::MainBundle> installed(&bundle);

  EXPECT_EQ(Image::imageNamed("splash"), nullptr);  // no bundle at all
  bundle.bundle = platform::BundlePaths{resources, std::nullopt};
  EXPECT_EQ(Image::imageNamed("splash"), nullptr);  // no resources
  bundle.bundle->resourcePath = resources;
  std::shared_ptr<Image> image = Image::imageNamed("splash");
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->path(), splash);
  EXPECT_EQ(Image::imageNamed("absent"), nullptr);
  mkdir((std::string(resources) + "/folder.png").c_str(), 0700);
  EXPECT_EQ(Image::imageNamed("folder"), nullptr);

  rmdir((std::string(resources) + "/folder.png").c_str());
  unlink(splash.c_str());
  rmdir(resources);
}

}  // namespace
}  // namespace ui
