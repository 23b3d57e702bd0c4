#include "ui/controls.h"

#include <sys/stat.h>
#include <unistd.h>

#include "platform/os/file_manager.h"
#include "platform/os/main_bundle.h"
#include "platform/os/service.h"
#include "ui/window.h"

namespace ui {

namespace {

// Stores "value" in "*field"; true when that changed what is shown. A setter
// that repeats the current value must not cost a redraw: the download sets
// the bar once per received block.
template <class T>
bool assign(T* field, const T& value) {
  if (*field == value) return false;
  *field = value;
  return true;
}

}  // namespace

void Control::setNeedsDisplay() {
  if (window_ != nullptr) window_->setNeedsDisplay();
}

void ProgressIndicator::setDoubleValue(double value) {
  if (assign(&value_, value)) setNeedsDisplay();
}

void ProgressIndicator::setMaxValue(double maxValue) {
  if (assign(&maxValue_, maxValue)) setNeedsDisplay();
}

void ProgressIndicator::setIndeterminate(bool indeterminate) {
  if (assign(&indeterminate_, indeterminate)) setNeedsDisplay();
}

void ProgressIndicator::startAnimation() {
  if (assign(&animating_, true)) setNeedsDisplay();
}

void ProgressIndicator::stopAnimation() {
  if (assign(&animating_, false)) setNeedsDisplay();
}

void ProgressIndicator::incrementBy(double delta) {
  setDoubleValue(value_ + delta);
}

void ProgressIndicator::displayIfNeeded() {
  if (window() != nullptr) window()->displayIfNeeded();
}

void TextFieldCell::setStringValue(const std::string& text) {
  if (assign(&text_, text)) setNeedsDisplay();
}

void TextFieldCell::setTextColor(Color color) {
  if (assign(&color_, color)) setNeedsDisplay();
}

std::shared_ptr<Image> Image::imageNamed(const std::string& name) {
  std::optional<platform::BundlePaths> bundle = platform::Service<platform::MainBundle>::get().mainBundle();
  if (!bundle || !bundle->resourcePath) return nullptr;
  std::string path = platform::appendPathComponent(*bundle->resourcePath, name + ".png");
  struct stat info;
  if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) ||
      access(path.c_str(), R_OK) != 0) {
    return nullptr;
  }
  return std::make_shared<Image>(std::move(path));
}

void ImageView::setImage(std::shared_ptr<Image> image) {
  if (image_ == image) return;
  image_ = std::move(image);
  setNeedsDisplay();
}

void Button::setEnabled(bool enabled) {
  if (assign(&enabled_, enabled)) setNeedsDisplay();
}

void Button::performClick() {
  if (enabled_ && action_) action_();
}

}  // namespace ui
