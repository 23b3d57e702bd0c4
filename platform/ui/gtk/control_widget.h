#ifndef PLATFORM_UI_GTK_CONTROL_WIDGET_H_
#define PLATFORM_UI_GTK_CONTROL_WIDGET_H_

#include <gtk/gtk.h>

#include <memory>
#include <string>

#include "ui/controls.h"

namespace platform {

// A control of a window and the GTK widget that shows it: a drawing area
// for an image (the image scaled into it as the view asks, centred; the
// window's title instead when there is none or it does not decode), a label
// for a text (red or not; an alert to screen readers while red), a progress
// bar (pulsing while indeterminate and
// animating), a button that clicks the control. The widget follows the
// control on update(), which costs GTK nothing when the control is
// unchanged. The control must outlive this object; the widget belongs to
// whatever container it is put in.
class ControlWidget {
 public:
  // Sizes of the image area and the text, in logical pixels (GTK doubles
  // them at 200 % scaling). The image area gives up height to a screen too
  // low for it.
  static constexpr int kWidth = 400;
  static constexpr int kImageHeight = 240;

  // A widget for "control", not yet updated; nullptr for a kind of control
  // that is not shown.
  static std::unique_ptr<ControlWidget> For(ui::Control* control);
  ~ControlWidget();
  ControlWidget(const ControlWidget&) = delete;
  ControlWidget& operator=(const ControlWidget&) = delete;

  ui::Control* control() const { return control_; }
  GtkWidget* widget() const { return widget_; }
  void update();

 private:
  ControlWidget(ui::Control* control, GtkWidget* widget)
      : control_(control), widget_(widget) {}
  static gboolean drawImage(GtkWidget* area, cairo_t* cr, gpointer self);
  void updateImage(const ui::ImageView& view);
  void updateText(const ui::TextFieldCell& text);
  void updateBar(const ui::ProgressIndicator& indicator);
  void stopPulse();

  struct GObjectUnref {
    void operator()(gpointer object) const { g_object_unref(object); }
  };

  ui::Control* control_;
  GtkWidget* widget_;
  // What the widget shows now.
  std::string text_;
  ui::Color color_ = ui::Color::kControlText;
  std::string imagePath_;
  std::unique_ptr<GdkPixbuf, GObjectUnref> pixbuf_;
  ui::ImageScaling scaling_ = ui::ImageScaling::kProportionallyDown;
  guint pulse_ = 0;  // the timeout that animates an indeterminate bar
};

}  // namespace platform

#endif  // PLATFORM_UI_GTK_CONTROL_WIDGET_H_
