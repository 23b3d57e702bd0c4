#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/front_ends.h"
#include "ui/shown_window.h"
#include "ui/terminal_lines.h"
#include "platform/ui/terminal_mode.h"
#include "platform/os/write_all.h"

namespace platform {

namespace {

constexpr char kSaveCursor[] = "\0337";
constexpr char kRestoreCursor[] = "\0338";
constexpr char kHideCursor[] = "\x1b[?25l";
constexpr char kShowCursor[] = "\x1b[?25h";

// Used when the terminal does not tell its size.
constexpr winsize kDefaultSize = {24, 80, 0, 0};

// Nowhere left to draw is no failure: the run goes on regardless.
void writeText(int fd, const std::string& text) {
  platform::writeAll(fd, text.data(), text.size());
}

winsize sizeOf(int fd) {
  winsize size{};
  if (ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_row < 2 || size.ws_col < 2) {
    return kDefaultSize;
  }
  return size;
}

std::string csi(std::size_t number, char command) {
  return "\x1b[" + std::to_string(number) + command;
}

constexpr char kEscape = '\x1b';

// Presses the button of "window" that "key" stands for, if it is enabled.
// With ICRNL, which the terminal keeps, Return arrives as "\n"; Escape
// presses the default button (Return's), as in the desktop window.
void pressKey(ui::Window& window, char key) {
  const std::string equivalent(1,
                               key == '\n' || key == kEscape ? '\r' : key);
  for (ui::Control* control : window.controls()) {
    auto* button = dynamic_cast<ui::Button*>(control);
    if (button != nullptr && button->keyEquivalent() == equivalent) {
      button->performClick();
      return;
    }
  }
}

constexpr char kAskCursor[] = "\x1b[6n";
// How long the first drawing waits for the terminal to say where its cursor
// is; the download goes on meanwhile.
constexpr double kCursorAnswerWait = 0.3;

// The row (1-based) from a cursor position report ("ESC [ row ; column R")
// in "input", or nullopt when there is none. A cursor after text counts as
// on the next row.
std::optional<std::size_t> reportedRow(const std::string& input) {
  unsigned row = 0, column = 0;
  for (std::size_t at = input.find("\x1b["); at != std::string::npos;
       at = input.find("\x1b[", at + 1)) {
    char end = 0;
    if (std::sscanf(input.c_str() + at, "\x1b[%u;%u%c", &row, &column,
                    &end) == 3 &&
        end == 'R' && row > 0) {
      return column > 1 ? row + 1 : row;
    }
  }
  return std::nullopt;
}

// Draws the window in the rows below the cursor, scrolling the terminal when
// they do not fit, and leaves the rows above it to scroll (DECSTBM).
// Whatever else reaches the terminal meanwhile (the system log's line, the
// unzip tool's complaints) lands on the row right above the window and
// scrolls up from there instead of splitting it. On its end the window
// makes way for its summary line. A terminal that does not tell where its
// cursor is gets the window in its bottom rows.
class TerminalFrontEnd : public ui::FrontEnd {
 public:
  explicit TerminalFrontEnd(int fd) : fd_(fd) {}
  ~TerminalFrontEnd() override { finish(); }

  void windowDidShow(ui::Window& window, EventLoop& loop) override {
    shown_.show(window, loop);
    loop_ = &loop;
    watchJobControl(loop);
    takeTerminal();
  }

  // Writes only the rows that changed: the window marks itself for display
  // on every received block, and most blocks change nothing visible.
  void draw(const ui::Window& window) override {
    if (cursorQuestion_) return;  // drawn once the terminal answered
    std::vector<std::string> lines = ui::terminalLines(window, size_.ws_col);
    // The scrolling region keeps two rows at least.
    lines.resize(std::min<std::size_t>(lines.size(), size_.ws_row - 2u));
    std::string out;
    if (lines.size() > height_) out = reserve(lines.size());
    lines.resize(height_);  // rows the window no longer needs stay blank
    if (lines == onScreen_) return;
    out += kSaveCursor;  // the cursor belongs to the scrolling rows
    const std::size_t top = windowTop();
    for (std::size_t i = 0; i < lines.size(); ++i) {
      if (i < onScreen_.size() && lines[i] == onScreen_[i]) continue;
      out += csi(top + i, 'H') + lines[i] + "\x1b[K";
    }
    out += kRestoreCursor;
    writeText(fd_, out);
    onScreen_ = std::move(lines);
  }

  void windowDidClose(ui::Window& window) override {
    if (!shown_.isShown()) return;
    shown_.hide();
    giveTerminalBack(ui::terminalSummaryLine(window, size_.ws_col));
  }

 private:
  // Reads what was typed and presses the buttons it stands for, or takes
  // the answer to the cursor's question. Stops watching a terminal that hung
  // up, which would otherwise stay readable.
  void readKeys() {
    char keys[64];
    ssize_t n = read(fd_, keys, sizeof keys);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (n <= 0) {
      loop_->unwatch(fd_);
      watchingKeys_ = false;
      return;
    }
    if (cursorQuestion_) {
      if (std::optional<std::size_t> row =
              reportedRow(std::string(keys, static_cast<std::size_t>(n)))) {
        // The region above the window needs two rows.
        startDrawing(std::max<std::size_t>(*row, 2));
        return;
      }
    }
    const ui::ShownWindow::Ref ref = shown_.ref();
    for (ssize_t i = 0; i < n; ++i) {
      ui::Window* window = ref.get();
      if (window == nullptr) return;  // a key closed it
      // An arrow or a function key arrives as Escape and more in one read;
      // only a lone Escape is the key itself.
      if (keys[i] == kEscape && i + 1 < n) return;
      pressKey(*window, keys[i]);
    }
  }

  std::size_t windowTop() const {
    return anchor_ ? *anchor_ + 1 : size_.ws_row - height_ + 1u;
  }

  // Makes "rows" rows the window's, below the anchor row or at the bottom,
  // scrolling what lies above them up where they do not fit, and returns
  // the output that does it. Whatever stood in those rows must be drawn
  // again.
  std::string reserve(std::size_t rows) {
    const std::size_t more = rows - height_;
    height_ = rows;
    onScreen_.clear();
    if (!anchor_) {
      // Line feeds scroll the rows above the window (the whole screen at
      // first) only where the cursor has fewer free rows below it than
      // needed.
      return "\r" + std::string(more, '\n') + csi(more, 'A') + kSaveCursor +
             "\x1b[1;" + std::to_string(size_.ws_row - rows) + "r" +
             kRestoreCursor;
    }
    // The whole screen scrolls by the rows missing below; the cursor then
    // waits at the start of the anchor row, which the region ends with.
    std::string out = "\x1b[r";
    const std::size_t bottom = *anchor_ + rows;
    if (bottom > size_.ws_row) {
      const std::size_t overflow = bottom - size_.ws_row;
      out += csi(size_.ws_row, 'H') + std::string(overflow, '\n');
      *anchor_ -= overflow;
    }
    return out + "\x1b[1;" + std::to_string(*anchor_) + "r" +
           csi(*anchor_, 'H');
  }

  // Puts the terminal into the window's mode, takes keys from it and draws
  // the whole window anew.
  void takeTerminal() {
    // A job continued in the background must not read the terminal.
    if (watchingKeys_) loop_->unwatch(fd_);
    mode_.emplace(fd_);
    const int access = fcntl(fd_, F_GETFL) & O_ACCMODE;
    watchingKeys_ = mode_->isActive() && access != O_WRONLY;
    const std::weak_ptr<TerminalFrontEnd*> self = self_;
    if (watchingKeys_) {
      // The loop may outlive this front end.
      loop_->watch(fd_, POLLIN, [self](short) {
        if (const std::shared_ptr<TerminalFrontEnd*> front = self.lock()) {
          (*front)->readKeys();
        }
      });
    }
    size_ = sizeOf(fd_);
    height_ = 0;
    onScreen_.clear();
    anchor_.reset();
    writeText(fd_, kHideCursor);
    // The answer comes as input, which only a terminal in the window's mode
    // delivers unechoed.
    if (!watchingKeys_) {
      startDrawing(std::nullopt);
      return;
    }
    writeText(fd_, kAskCursor);
    cursorQuestion_ = loop_->performAfterDelay(kCursorAnswerWait, [self] {
      if (const std::shared_ptr<TerminalFrontEnd*> front = self.lock()) {
        (*front)->startDrawing(std::nullopt);
      }
    });
  }

  // Draws the window below "anchor", or in the bottom rows for nullopt.
  void startDrawing(std::optional<std::size_t> anchor) {
    if (cursorQuestion_) loop_->cancelDelayed(*cursorQuestion_);
    cursorQuestion_.reset();
    anchor_ = anchor;
    if (const ui::Window* window = shown_.ref().get()) draw(*window);
  }

  // Ends the scrolling region and leaves the terminal in its old mode, the
  // cursor visible again on a fresh line: below the window when "summary"
  // is nullopt, else below "summary", which replaces the window ("" erases
  // it).
  void giveTerminalBack(const std::optional<std::string>& summary) {
    if (watchingKeys_) loop_->unwatch(fd_);
    watchingKeys_ = false;
    if (cursorQuestion_) loop_->cancelDelayed(*cursorQuestion_);
    cursorQuestion_.reset();
    std::string out = "\x1b[r";
    if (height_ == 0) {
      // Never drawn: the cursor stays where the run found it.
      out = kSaveCursor + out + kRestoreCursor;
      if (summary && !summary->empty()) out += "\r\x1b[J" + *summary + "\n";
    } else if (!summary) {
      out += csi(windowTop() + height_ - 1, 'H') + "\n";
    } else {
      // The anchor row holds nothing of the window's: other output scrolled
      // away from it line by line.
      out += csi(anchor_ ? *anchor_ : windowTop(), 'H') + "\x1b[J";
      if (!summary->empty()) out += *summary + "\n";
    }
    writeText(fd_, out + kShowCursor);
    onScreen_.clear();
    mode_.reset();
  }

  void finish() {
    if (!shown_.isShown()) return;
    shown_.hide();
    giveTerminalBack(std::string());
  }

  // Ctrl-Z: the shell gets its terminal back as it left it, and the window
  // comes back when the job continues (after a stop of any origin, since
  // whatever ran meanwhile may have drawn over it). The loop keeps these
  // watches after the front end has gone; the process still stops then.
  void watchJobControl(EventLoop& loop) {
    const std::weak_ptr<TerminalFrontEnd*> self = self_;
    loop.watchSignal(SIGTSTP, [self] {
      const std::shared_ptr<TerminalFrontEnd*> front = self.lock();
      if (front && (*front)->shown_.isShown()) {
        (*front)->giveTerminalBack(std::nullopt);
      }
      raise(SIGSTOP);
    });
    loop.watchSignal(SIGCONT, [self] {
      const std::shared_ptr<TerminalFrontEnd*> front = self.lock();
      if (!front) return;
      if ((*front)->shown_.isShown()) (*front)->takeTerminal();
    });
  }

  const int fd_;
  // What the loop's job-control callbacks reach this front end through.
  const std::shared_ptr<TerminalFrontEnd*> self_ =
      std::make_shared<TerminalFrontEnd*>(this);
  ui::ShownWindow shown_;
  EventLoop* loop_ = nullptr;
  std::optional<TerminalMode> mode_;
  bool watchingKeys_ = false;
  winsize size_ = kDefaultSize;
  std::size_t height_ = 0;             // rows kept for the window
  // The row right above the window, where other output goes; nullopt for a
  // window in the bottom rows.
  std::optional<std::size_t> anchor_;
  // Set while the first drawing waits for the terminal's answer.
  std::optional<EventLoop::TimerId> cursorQuestion_;
  std::vector<std::string> onScreen_;  // what those rows show, top to bottom
};

}  // namespace

std::unique_ptr<ui::FrontEnd> NewTerminalFrontEnd(int fd) {
  return std::make_unique<TerminalFrontEnd>(fd);
}

}  // namespace platform
