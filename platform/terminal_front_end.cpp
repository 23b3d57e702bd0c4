#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/front_end.h"
#include "platform/shown_window.h"
#include "platform/terminal_lines.h"
#include "platform/terminal_mode.h"

namespace platform {

namespace {

constexpr int kDefaultColumns = 80;

void writeAll(int fd, const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // nowhere left to draw; the run goes on regardless
    done += static_cast<std::size_t>(n);
  }
}

int columnsOf(int fd) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) {
    return kDefaultColumns;
  }
  return size.ws_col;
}

std::string cursorUp(std::size_t lines) {
  if (lines == 0) return "";  // CSI 0 A moves one line on most terminals
  return "\x1b[" + std::to_string(lines) + "A";
}

// Presses the button of "window" that "key" stands for, if it is enabled.
// With ICRNL, which the terminal keeps, Return arrives as "\n".
void pressKey(Window& window, char key) {
  const std::string equivalent(1, key == '\n' ? '\r' : key);
  for (Control* control : window.controls()) {
    auto* button = dynamic_cast<Button*>(control);
    if (button != nullptr && button->keyEquivalent() == equivalent) {
      button->performClick();
      return;
    }
  }
}

// Draws on a terminal below the cursor. The cursor rests at the start of the
// window's first line between draws: whatever else the process writes to the
// terminal meanwhile (the system log's line) then lands above the window,
// which the next draw rewrites one line lower, instead of splitting it.
class TerminalFrontEnd : public FrontEnd {
 public:
  explicit TerminalFrontEnd(int fd) : fd_(fd) {}
  ~TerminalFrontEnd() override { finish(); }

  void windowDidShow(Window& window, EventLoop& loop) override {
    shown_.show(window, loop);
    loop_ = &loop;
    mode_.emplace(fd_);
    const int access = fcntl(fd_, F_GETFL) & O_ACCMODE;
    watchingKeys_ = mode_->isActive() && access != O_WRONLY;
    if (watchingKeys_) {
      loop.watch(fd_, POLLIN,
                 [fd = fd_, loop = &loop, window = shown_.ref()](short) {
                   readKeys(fd, *loop, window);
                 });
    }
    columns_ = columnsOf(fd_);
    onScreen_.clear();
    writeAll(fd_, "\x1b[?25l" + window.title() + "\r\n");
    draw(window);
  }

  // Writes only when a line changed, since the window marks itself for
  // display on every received block; then rewrites every line, as the screen
  // may have moved under the window since the last draw.
  void draw(const Window& window) override {
    std::vector<std::string> lines = terminalLines(window, columns_);
    if (lines == onScreen_) return;
    std::string out;
    for (const std::string& line : lines) out += line + "\x1b[K\r\n";
    if (lines.size() < onScreen_.size()) out += "\x1b[J";
    out += cursorUp(lines.size());
    writeAll(fd_, out);
    onScreen_ = std::move(lines);
  }

  void windowDidClose(Window&) override {
    if (watchingKeys_) loop_->unwatch(fd_);
    watchingKeys_ = false;
    finish();
  }

 private:
  // Reads what was typed and presses the buttons it stands for. Stops
  // watching a terminal that hung up, which would otherwise stay readable.
  static void readKeys(int fd, EventLoop& loop, const ShownWindow::Ref& ref) {
    char keys[64];
    ssize_t n = read(fd, keys, sizeof keys);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
      loop.unwatch(fd);
      return;
    }
    for (ssize_t i = 0; i < n; ++i) {
      Window* window = ref.get();
      if (window == nullptr) return;  // a key closed it
      pressKey(*window, keys[i]);
    }
  }

  // Leaves the cursor, visible again, on the line below the window and the
  // terminal in its old mode.
  void finish() {
    if (!shown_.isShown()) return;
    shown_.hide();
    writeAll(fd_, "\r" + std::string(onScreen_.size(), '\n') + "\x1b[?25h");
    onScreen_.clear();
    mode_.reset();
  }

  const int fd_;
  ShownWindow shown_;
  EventLoop* loop_ = nullptr;
  std::optional<TerminalMode> mode_;
  bool watchingKeys_ = false;
  int columns_ = kDefaultColumns;
  std::vector<std::string> onScreen_;  // the lines drawn last, top to bottom
};

}  // namespace

std::unique_ptr<FrontEnd> NewTerminalFrontEnd(int fd) {
  return std::make_unique<TerminalFrontEnd>(fd);
}

}  // namespace platform
