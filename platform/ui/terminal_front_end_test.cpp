#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "gtest/gtest.h"
#include "platform/loop/event_loop.h"
#include "platform/os/unique_fd.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "platform/ui/front_ends.h"
#include "ui/window.h"

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

// A window like the download window, on the real loop: its cancel button,
// pressed by Return, closes it, and closing it ends the run.
struct TerminalWindow : ui::WindowDelegate {
  explicit TerminalWindow(std::unique_ptr<ui::FrontEnd> drawnBy)
      : frontEnd(std::move(drawnBy)) {
    window.addControl(&status);
    window.addControl(&bar);
    window.addControl(&cancel);
    window.setDelegate(this);
    window.setFrontEnd(frontEnd.get());
    cancel.setKeyEquivalent("\r");
    cancel.setAction([this] { window.close(); });
    application.setMainWindow(&window);
    loop->performAfterDelay(20, [this] { application.stop(); });
  }
  void windowWillClose(ui::Window*) override {
    ++closes;
    application.stop();
  }

  std::unique_ptr<EventLoop> loop = NewPollEventLoop();
  ui::Application application{loop.get()};
  ui::Window window{"Installer"};
  ui::TextFieldCell status;
  ui::ProgressIndicator bar;
  ui::Button cancel{"Cancel"};
  std::unique_ptr<ui::FrontEnd> frontEnd;
  int closes = 0;
};

TEST(TerminalFrontEndTest, DrawsOnlyChangesAndKeysPressTheEnabledButton) {
  int masterFd, slaveFd;
  winsize size{24, 80, 0, 0};
  ASSERT_EQ(openpty(&masterFd, &slaveFd, nullptr, nullptr, &size), 0);
  UniqueFd master(masterFd);
  UniqueFd slave(slaveFd);
  Recorder recorder(master.get());
  termios before, during{}, after{};
  ASSERT_EQ(tcgetattr(slave.get(), &before), 0);
  bool visibleAfterDisabledReturn = false;
  bool arrowClosed = true;
  {
    TerminalWindow run(NewTerminalFrontEnd(slave.get()));
    run.status.setStringValue("Downloading  50%");
    run.bar.setDoubleValue(50);
    // The terminal says where its cursor is, as a real one would.
    run.loop->performAfterDelay(0.02, [&] {
      EXPECT_EQ(write(master.get(), "\x1b[3;1R", 6), 6);
    });
    run.loop->performAfterDelay(0.05, [&] {
      // Ten thousand small steps, one per received block, move the bar by
      // three cells (an exact binary fraction keeps the sum exact): only
      // those redraws may reach the terminal.
      for (int i = 0; i < 10000; ++i) {
        run.bar.incrementBy(1.0 / 1024);
        run.bar.displayIfNeeded();
      }
      run.cancel.setEnabled(false);
      run.status.setStringValue("Failed.\nSee the log.");
      run.status.setTextColor(ui::Color::kRed);
      tcgetattr(slave.get(), &during);
      EXPECT_EQ(write(master.get(), "\r", 1), 1);
    });
    run.loop->performAfterDelay(0.4, [&] {
      visibleAfterDisabledReturn = run.window.isVisible();
      run.cancel.setEnabled(true);
      // An arrow key is no Escape; a lone Escape presses Cancel.
      EXPECT_EQ(write(master.get(), "\x1b[A", 3), 3);
    });
    run.loop->performAfterDelay(0.6, [&] {
      arrowClosed = !run.window.isVisible();
      EXPECT_EQ(write(master.get(), "\x1b", 1), 1);
    });
    run.application.run();
    EXPECT_EQ(run.closes, 1);  // by the Escape key, not the time-out
    tcgetattr(slave.get(), &after);
  }
  slave.reset();
  const std::string output = recorder.finish();

  EXPECT_TRUE(visibleAfterDisabledReturn);
  EXPECT_FALSE(arrowClosed);
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

  EXPECT_EQ(output.substr(output.size() - 6), "\x1b[?25h");  // visible again
}

// The window of ShowsTheWindowBelowOtherOutputInATerminal, shown by the child
// process that test starts in a terminal. Returns how often it was closed.
int showWindowInThisTerminal() {
  TerminalWindow run(NewDefaultFrontEnd("", false));
  std::fputs("before the window\n", stderr);
  run.status.setStringValue("Downloading  50%");
  run.bar.setDoubleValue(50);
  run.loop->performAfterDelay(0.2, [&run] {
    // Output from elsewhere in the process, as the system log writes it,
    // more than the rows above the window hold.
    for (int line = 1; line <= 9; ++line) {
      std::fprintf(stderr, "elsewhere %d\n", line);
    }
    run.status.setStringValue(
        "Failed.\nSee the system log for more information.");
    run.status.setTextColor(ui::Color::kRed);
    run.bar.setDoubleValue(run.bar.maxValue());
    run.window.setSummary("failed");
  });
  run.application.run();
  return run.closes;
}

std::string commandOutput(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
      output.append(buffer, n);
    }
    pclose(pipe);
  }
  return output;
}

// A tmux server of its own, in a scratch directory, with one window whose
// pane runs "command"; all is removed on destruction.
class Tmux {
 public:
  Tmux() {
    if (mkdtemp(directory_) != nullptr) {
      tmux_ = "tmux -f /dev/null -S " + std::string(directory_) + "/socket";
    }
  }
  ~Tmux() {
    commandOutput(tmux_ + " kill-server");
    commandOutput("rm -rf " + std::string(directory_));
  }
  std::string path(const std::string& name) const {
    return std::string(directory_) + "/" + name;
  }

  void start(const std::string& command, int columns, int rows) {
    commandOutput(tmux_ + " new-session -d -s front -x " +
                  std::to_string(columns) + " -y " + std::to_string(rows) +
                  " '" + command + "'");
  }
  void pressReturn() { commandOutput(tmux_ + " send-keys -t front Enter"); }

  // The non-empty rows of the pane, history first, once "until" is among
  // them (or after ten seconds).
  std::vector<std::string> rowsOnceShown(const std::string& until) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::seconds(10);
    std::vector<std::string> rows;
    do {
      rows.clear();
      std::istringstream pane(
          commandOutput(tmux_ + " capture-pane -p -S -50 -t front"));
      for (std::string row; std::getline(pane, row);) {
        if (!row.empty()) rows.push_back(row);
      }
      if (std::find(rows.begin(), rows.end(), until) != rows.end()) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    } while (std::chrono::steady_clock::now() < deadline);
    return rows;
  }

 private:
  char directory_[64] = "/tmp/terminal_front_end_test.XXXXXX";
  std::string tmux_ = "false";
};

constexpr char kChildVariable[] = "TERMINAL_FRONT_END_TEST_RECORD";

// A real terminal (tmux) runs this test binary again, which shows the window
// on it: the window is drawn below the cursor, other output scrolls above
// it, texts wrap at words on a narrow terminal, Return closes it, and its
// summary line replaces it, with the next output on a fresh line below.
TEST(TerminalFrontEndTest, ShowsTheWindowBelowOtherOutputInATerminal) {
  if (const char* record = std::getenv(kChildVariable)) {
    std::ofstream(record) << showWindowInThisTerminal();
    std::fputs("after the window\n", stderr);
    return;
  }
  if (commandOutput("command -v tmux").empty())
    GTEST_SKIP() << "tmux is not installed";

  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  self[length] = '\0';
  Tmux tmux;
  const std::string record = tmux.path("closes");
  tmux.start(std::string(kChildVariable) + "=" + record + " " + self +
                 " --gtest_filter=TerminalFrontEndTest."
                 "ShowsTheWindowBelowOtherOutputInATerminal"
                 " >/dev/null; sleep 20",
             30, 14);

  const std::vector<std::string> window = {
      "Installer", "Failed.", "See the system log for more", "information.",
      "[" + std::string(27, '#') + "]", "[ Cancel: Return ]"};
  std::vector<std::string> expected = {"before the window"};
  for (int line = 1; line <= 9; ++line) {
    expected.push_back("elsewhere " + std::to_string(line));
  }
  expected.insert(expected.end(), window.begin(), window.end());
  EXPECT_EQ(tmux.rowsOnceShown("information."), expected);

  tmux.pressReturn();
  expected.resize(expected.size() - window.size());
  expected.push_back("Installer: failed");
  expected.push_back("after the window");
  EXPECT_EQ(tmux.rowsOnceShown("after the window"), expected);
  std::string closes;
  std::ifstream(record) >> closes;
  EXPECT_EQ(closes, "1");  // by the Return key, not the time-out
}

}  // namespace
}  // namespace platform
