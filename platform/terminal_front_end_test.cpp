#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/application.h"
#include "platform/controls.h"
#include "platform/event_loop.h"
#include "platform/front_end.h"
#include "platform/unique_fd.h"
#include "platform/window.h"

namespace platform {
namespace {

// Everything written to a pseudo-terminal, read from its master side by a
// thread of its own, so that the front end never blocks on a full terminal
// however much it writes.
class Recorder {
 public:
  explicit Recorder(int master)
      : reader_([this, master] {
          char buffer[4096];
          ssize_t n;
          while ((n = read(master, buffer, sizeof buffer)) > 0) {
            std::lock_guard<std::mutex> lock(mutex_);
            text_.append(buffer, static_cast<std::size_t>(n));
          }
        }) {}
  ~Recorder() {
    if (reader_.joinable()) reader_.join();
  }

  // All output; call once every slave descriptor is closed (the reader then
  // gets EIO and ends).
  std::string finish() {
    reader_.join();
    return text_;
  }

 private:
  std::mutex mutex_;
  std::string text_;
  std::thread reader_;
};

// The text left on a screen by "output", for the few controls the terminal
// front end uses: CR, LF, cursor up and down, erase line and screen; colours
// and cursor visibility are dropped. The screen has no bottom, so output
// that scrolled instead of redrawing in place shows as extra lines.
struct Screen {
  explicit Screen(const std::string& output) {
    for (std::size_t i = 0; i < output.size(); ++i) {
      char c = output[i];
      if (c == '\r') {
        column = 0;
      } else if (c == '\n') {
        ++row;
      } else if (c == '\x1b' && i + 1 < output.size() && output[i + 1] == '[') {
        std::size_t end = output.find_first_of("ABJKmhl", i + 2);
        int n = std::atoi(output.substr(i + 2, end - i - 2).c_str());
        char command = output[end];
        if (command == 'A') row -= n;
        if (command == 'B') row += n;
        if (command == 'K' || command == 'J') line().resize(column, ' ');
        if (command == 'J') lines.resize(row + 1);
        i = end;
      } else {
        std::string& text = line();
        if (text.size() <= column) text.resize(column + 1, ' ');
        text[column++] = c;
      }
    }
  }
  std::string& line() {
    if (lines.size() <= row) lines.resize(row + 1);
    return lines[row];
  }

  std::vector<std::string> lines;
  std::size_t row = 0;
  std::size_t column = 0;
};

struct StopOnClose : WindowDelegate {
  void windowWillClose(Window*) override {
    ++closes;
    Application::shared()->stop(this);
  }
  int closes = 0;
};

TEST(TerminalFrontEndTest, DrawsInPlaceAndReturnPressesTheEnabledButton) {
  int masterFd, slaveFd;
  winsize size{24, 80, 0, 0};
  ASSERT_EQ(openpty(&masterFd, &slaveFd, nullptr, nullptr, &size), 0);
  UniqueFd master(masterFd);
  UniqueFd slave(slaveFd);
  Recorder recorder(master.get());
  termios before, during{}, after{};
  ASSERT_EQ(tcgetattr(slave.get(), &before), 0);
  bool visibleAfterDisabledReturn = false;
  {
    std::unique_ptr<EventLoop> loop = NewPollEventLoop();
    Application application(loop.get());
    Window window("Installer");
    TextFieldCell status;
    ProgressIndicator bar;
    Button cancel("Cancel");
    StopOnClose delegate;
    window.addControl(&status);
    window.addControl(&bar);
    window.addControl(&cancel);
    window.setDelegate(&delegate);
    cancel.setKeyEquivalent("\r");
    cancel.setAction([&window] { window.close(); });
    std::unique_ptr<FrontEnd> frontEnd = NewTerminalFrontEnd(slave.get());
    window.setFrontEnd(frontEnd.get());
    application.setMainWindow(&window);

    status.setStringValue("Downloading  50%");
    bar.setDoubleValue(50);
    application.performAfterDelay(0.05, [&] {
      // Ten thousand small steps, one per received block, move the bar by
      // three cells (an exact binary fraction keeps the sum exact): only
      // those redraws may reach the terminal.
      for (int i = 0; i < 10000; ++i) {
        bar.incrementBy(1.0 / 1024);
        bar.displayIfNeeded();
      }
      cancel.setEnabled(false);
      status.setStringValue("Failed.\nSee the log.");
      status.setTextColor(Color::kRed);
      tcgetattr(slave.get(), &during);
      EXPECT_EQ(write(master.get(), "\r", 1), 1);
    });
    application.performAfterDelay(0.4, [&] {
      visibleAfterDisabledReturn = window.isVisible();
      cancel.setEnabled(true);
      EXPECT_EQ(write(master.get(), "\r", 1), 1);
    });
    application.performAfterDelay(10, [&] { application.stop(nullptr); });
    application.run();
    EXPECT_EQ(delegate.closes, 1);  // by the Return key, not the time-out
    tcgetattr(slave.get(), &after);
  }
  slave.reset();
  const std::string output = recorder.finish();

  EXPECT_TRUE(visibleAfterDisabledReturn);
  EXPECT_EQ(during.c_lflag & (ICANON | ECHO), 0u);
  EXPECT_NE(during.c_lflag & ISIG, 0u);  // Ctrl-C still interrupts
  EXPECT_EQ(after.c_lflag, before.c_lflag);
  EXPECT_EQ(after.c_iflag, before.c_iflag);
  EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);

  EXPECT_NE(output.find("\x1b[31mFailed.\x1b[0m"), std::string::npos) << output;
  EXPECT_NE(output.find("\x1b[31mSee the log.\x1b[0m"), std::string::npos);
  EXPECT_NE(
      output.find("[" + std::string(20, '#') + std::string(20, '.') + "]"),
      std::string::npos);
  std::size_t lineWrites = 0;
  for (std::size_t at = output.find("\x1b[K"); at != std::string::npos;
       at = output.find("\x1b[K", at + 1)) {
    ++lineWrites;
  }
  EXPECT_LT(lineWrites, 40u);

  const Screen screen(output);
  EXPECT_EQ(screen.lines,
            (std::vector<std::string>{
                "Installer", "Failed.", "See the log.",
                "[" + std::string(23, '#') + std::string(17, '.') + "]",
                "[ Cancel: Return ]"}));
  EXPECT_EQ(screen.row, 5u);  // the cursor on a fresh line below
  EXPECT_EQ(screen.column, 0u);
  EXPECT_EQ(output.substr(output.size() - 6), "\x1b[?25h");  // visible again
}

}  // namespace
}  // namespace platform
