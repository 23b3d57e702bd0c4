#include <gtk/gtk.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "ui/controls.h"
#include "platform/ui/gtk/control_widget.h"
#include "platform/ui/gtk/glib_poll_source.h"
#include "platform/ui/gtk_module.h"
#include "ui/shown_window.h"

namespace platform {

namespace {

// A download reports every block it receives; the widgets follow at most
// this often, so that a fast download is not slowed by its window.
constexpr double kRedrawInterval = 1.0 / 30;

// Shows the window as a fixed-size GTK dialog window, centred on the
// screen: the image area, the texts, the bar and the buttons top to bottom.
// GTK's events come through the application's own loop (GlibPollSource),
// served by the same thread as the download.
class GtkFrontEnd : public ui::FrontEnd {
 public:
  ~GtkFrontEnd() override { destroy(); }

  void windowDidShow(ui::Window& window, EventLoop& loop) override {
    shown_.show(window, loop);
    loop_ = &loop;
    loop.setPollSource(&glib_);
    build(window);
    apply();
    fitScreen();
    lastRedraw_ = loop.now();
    gtk_widget_show_all(toplevel_);
    gtk_window_present(GTK_WINDOW(toplevel_));
  }

  // Applies the change at once unless the widgets changed less than
  // kRedrawInterval ago; then once that interval is over.
  void draw(const ui::Window&) override {
    if (toplevel_ == nullptr || redrawPending_) return;
    const double wait = lastRedraw_ + kRedrawInterval - loop_->now();
    if (wait <= 0) {
      redraw();
      return;
    }
    redrawPending_ = true;
    redrawTimer_ = loop_->performAfterDelay(wait, [this] {
      redrawPending_ = false;
      redraw();
    });
  }

  // The window is gone from the screen when this returns (the display
  // server has destroyed it): whatever the run does next, such as starting
  // the agent, happens without it.
  void windowDidClose(ui::Window&) override { destroy(); }

 private:
  void build(ui::Window& window) {
    toplevel_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* gtkWindow = GTK_WINDOW(toplevel_);
    gtk_window_set_title(gtkWindow, window.title().c_str());
    gtk_window_set_resizable(gtkWindow, FALSE);
    gtk_window_set_position(gtkWindow, GTK_WIN_POS_CENTER);
    gtk_window_set_type_hint(gtkWindow, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_container_set_border_width(GTK_CONTAINER(toplevel_), 20);
    g_signal_connect(toplevel_, "delete-event", G_CALLBACK(closeBox), this);
    g_signal_connect(toplevel_, "key-press-event", G_CALLBACK(keyPress), this);

    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_container_add(GTK_CONTAINER(toplevel_), column);
    column_ = column;
    GtkWidget* buttons = gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL);
    gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
    gtk_box_pack_end(GTK_BOX(column), buttons, FALSE, FALSE, 0);
    for (ui::Control* control : window.controls()) {
      std::unique_ptr<ControlWidget> shown = ControlWidget::For(control);
      if (!shown) continue;
      GtkWidget* widget = shown->widget();
      AtkObject* accessible = gtk_widget_get_accessible(widget);
      if (dynamic_cast<ui::ImageView*>(control) != nullptr) {
        // The splash stands for the product, as the title does.
        atk_object_set_name(accessible, window.title().c_str());
        image_ = widget;
      } else if (dynamic_cast<ui::ProgressIndicator*>(control) != nullptr) {
        barAccessible_ = accessible;
      } else if (status_ == nullptr) {
        status_ = dynamic_cast<ui::TextFieldCell*>(control);
      }
      auto* button = dynamic_cast<ui::Button*>(control);
      if (button == nullptr) {
        gtk_box_pack_start(GTK_BOX(column), widget, FALSE, FALSE, 0);
      } else {
        gtk_container_add(GTK_CONTAINER(buttons), widget);
      }
      if (button != nullptr && button->keyEquivalent() == "\r") {
        gtk_widget_set_can_default(widget, TRUE);
        gtk_window_set_default(gtkWindow, widget);
        gtk_widget_grab_focus(widget);
      }
      widgets_.push_back(std::move(shown));
    }
  }

  void redraw() {
    apply();
    lastRedraw_ = loop_->now();
  }

  // Brings every widget in line with its control. The bar is named after
  // the status above it, which says what it measures.
  void apply() {
    for (const std::unique_ptr<ControlWidget>& shown : widgets_) {
      shown->update();
    }
    if (status_ != nullptr && barAccessible_ != nullptr &&
        status_->stringValue() != barName_) {
      barName_ = status_->stringValue();
      atk_object_set_name(barAccessible_, barName_.c_str());
    }
  }

  // Narrows the image and the texts while the window would be wider than
  // the screen's work area, then takes height from the image area while it
  // would be taller (at 200 % scaling a 768-pixel screen has 384 logical
  // pixels), leaving out an image area too small to show anything.
  void fitScreen() {
    if (image_ == nullptr) return;
    GdkDisplay* display = gdk_display_get_default();
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
    if (monitor == nullptr) return;
    GdkRectangle area;
    gdk_monitor_get_workarea(monitor, &area);
    // The window's own size is not known before it is shown; its content's
    // is, once visible, and the border around it.
    gtk_widget_show_all(column_);
    const int border =
        2 * static_cast<int>(gtk_container_get_border_width(GTK_CONTAINER(toplevel_)));
    int naturalWidth = 0;
    gtk_widget_get_preferred_width(column_, nullptr, &naturalWidth);
    const int widthExcess = naturalWidth + border - area.width;
    constexpr int kNarrowest = 160;
    const int width =
        std::max(kNarrowest, ControlWidget::kWidth - std::max(widthExcess, 0));
    if (widthExcess > 0) {
      for (const std::unique_ptr<ControlWidget>& shown : widgets_) {
        int height = 0;
        gtk_widget_get_size_request(shown->widget(), nullptr, &height);
        if (dynamic_cast<ui::Button*>(shown->control()) == nullptr &&
            dynamic_cast<ui::ProgressIndicator*>(shown->control()) == nullptr) {
          gtk_widget_set_size_request(shown->widget(), width, height);
        }
      }
    }
    int natural = 0;
    gtk_widget_get_preferred_height(column_, nullptr, &natural);
    natural += border;
    // Room for a window manager's title bar.
    constexpr int kDecoration = 40;
    const int excess = natural + kDecoration - area.height;
    if (excess <= 0) return;
    constexpr int kSmallestImage = 48;
    const int height = ControlWidget::kImageHeight - excess;
    if (height < kSmallestImage) {
      gtk_widget_set_no_show_all(image_, TRUE);
      gtk_widget_hide(image_);
    } else {
      gtk_widget_set_size_request(image_, width, height);
    }
  }

  // The close box closes the window as the model's close does; GTK's own
  // handling, which would destroy it, is stopped.
  static gboolean closeBox(GtkWidget*, GdkEvent*, gpointer self) {
    if (ui::Window* window = static_cast<GtkFrontEnd*>(self)->shown_.ref().get()) {
      window->close();
    }
    return TRUE;
  }

  // Return and Escape press the default button, whichever widget has the
  // focus.
  static gboolean keyPress(GtkWidget*, GdkEventKey* event, gpointer self) {
    const guint key = event->keyval;
    if (key != GDK_KEY_Return && key != GDK_KEY_KP_Enter &&
        key != GDK_KEY_Escape) {
      return FALSE;
    }
    static_cast<GtkFrontEnd*>(self)->pressDefaultButton();
    return TRUE;
  }

  void pressDefaultButton() {
    for (const std::unique_ptr<ControlWidget>& shown : widgets_) {
      auto* button = dynamic_cast<ui::Button*>(shown->control());
      if (button != nullptr && button->keyEquivalent() == "\r") {
        button->performClick();  // may close the window: widgets_ is gone
        return;
      }
    }
  }

  // Takes the window off the screen at once and stops serving GTK.
  void destroy() {
    if (toplevel_ == nullptr) return;
    if (redrawPending_) loop_->cancelDelayed(redrawTimer_);
    redrawPending_ = false;
    widgets_.clear();  // while their widgets exist
    gtk_widget_destroy(toplevel_);
    toplevel_ = nullptr;
    image_ = nullptr;
    column_ = nullptr;
    barAccessible_ = nullptr;
    status_ = nullptr;
    barName_.clear();
    gdk_display_sync(gdk_display_get_default());
    loop_->setPollSource(nullptr);
    shown_.hide();
  }

  GlibPollSource glib_;
  ui::ShownWindow shown_;
  EventLoop* loop_ = nullptr;
  GtkWidget* toplevel_ = nullptr;
  std::vector<std::unique_ptr<ControlWidget>> widgets_;
  GtkWidget* image_ = nullptr;
  GtkWidget* column_ = nullptr;  // everything inside the border
  AtkObject* barAccessible_ = nullptr;
  const ui::TextFieldCell* status_ = nullptr;  // the first text
  std::string barName_;
  double lastRedraw_ = 0;
  bool redrawPending_ = false;
  EventLoop::TimerId redrawTimer_ = 0;
};

}  // namespace

}  // namespace platform

extern "C" __attribute__((visibility("default"))) ui::FrontEnd*
bootstrapper_new_gtk_front_end() {
  // To choose its visuals GDK would load the GL driver (Mesa with LLVM),
  // which is most of a window's start-up time and memory; this window draws
  // no GL. GDK reads the setting in gtk_init only, so the agent started
  // later does not inherit it.
  const bool glUnset = g_getenv("GDK_GL") == nullptr;
  if (glUnset) g_setenv("GDK_GL", "disable", TRUE);
  const bool opened = gtk_init_check(nullptr, nullptr);
  if (glUnset) g_unsetenv("GDK_GL");
  if (!opened) return nullptr;
  return new platform::GtkFrontEnd();
}
