#ifndef UI_CONTROLS_H_
#define UI_CONTROLS_H_

#include <functional>
#include <memory>
#include <string>

namespace ui {

class Window;

enum class Color { kControlText, kRed };

struct Size {
  double width = 0;
  double height = 0;
};

// Base of the controls a window shows. A control belongs to at most one
// window and tells it when its state changed, so that the window redraws at
// its next display pass.
class Control {
 public:
  virtual ~Control() = default;
  void setWindow(Window* window) { window_ = window; }

 protected:
  Window* window() const { return window_; }
  void setNeedsDisplay();

 private:
  Window* window_ = nullptr;
};

// A bar that shows how far a task has got, or an animation when that is
// unknown (indeterminate).
class ProgressIndicator : public Control {
 public:
  double doubleValue() const { return value_; }
  void setDoubleValue(double value);
  double maxValue() const { return maxValue_; }
  void setMaxValue(double maxValue);
  bool isIndeterminate() const { return indeterminate_; }
  void setIndeterminate(bool indeterminate);
  bool isAnimating() const { return animating_; }
  void startAnimation();
  void stopAnimation();
  void incrementBy(double delta);
  // Draws the window now if anything in it changed.
  void displayIfNeeded();

 private:
  double value_ = 0;
  double maxValue_ = 100;
  bool indeterminate_ = false;
  bool animating_ = false;
};

// One line (or more) of text.
class TextFieldCell : public Control {
 public:
  const std::string& stringValue() const { return text_; }
  void setStringValue(const std::string& text);
  Color textColor() const { return color_; }
  void setTextColor(Color color);

 private:
  std::string text_;
  Color color_ = Color::kControlText;
};

// An image loaded from a file. The front ends do not draw its pixels; they
// only need to know that it is there and how large it is meant to be.
class Image {
 public:
  // The image "name".png in the main bundle's resources, or nullptr when
  // there is no such readable file.
  static std::shared_ptr<Image> imageNamed(const std::string& name);
  explicit Image(std::string path) : path_(std::move(path)) {}
  const std::string& path() const { return path_; }
  Size size() const { return size_; }
  void setSize(Size size) { size_ = size; }

 private:
  std::string path_;
  Size size_;
};

enum class ImageScaling {
  kProportionallyDown,      // shrunk to fit, never enlarged
  kProportionallyUpOrDown,  // shrunk or enlarged to fit
};

class ImageView : public Control {
 public:
  const std::shared_ptr<Image>& image() const { return image_; }
  void setImage(std::shared_ptr<Image> image);
  ImageScaling imageScaling() const { return scaling_; }
  void setImageScaling(ImageScaling scaling) { scaling_ = scaling; }

 private:
  std::shared_ptr<Image> image_;
  ImageScaling scaling_ = ImageScaling::kProportionallyDown;
};

class Button : public Control {
 public:
  explicit Button(std::string title = "") : title_(std::move(title)) {}
  const std::string& title() const { return title_; }
  bool isEnabled() const { return enabled_; }
  void setEnabled(bool enabled);
  // The key that presses the button ("\r" for Return).
  const std::string& keyEquivalent() const { return keyEquivalent_; }
  void setKeyEquivalent(const std::string& key) { keyEquivalent_ = key; }
  void setAction(std::function<void()> action) { action_ = std::move(action); }
  // Runs the action, if the button is enabled and has one.
  void performClick();

 private:
  std::string title_;
  bool enabled_ = true;
  std::string keyEquivalent_;
  std::function<void()> action_;
};

}  // namespace ui

#endif  // UI_CONTROLS_H_
