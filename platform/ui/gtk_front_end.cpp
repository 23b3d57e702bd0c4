#include <gtk/gtk.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/os/main_bundle.h"
#include "platform/os/service.h"
#include "platform/ui/controls.h"
#include "platform/ui/gtk/glib_poll_source.h"
#include "platform/ui/gtk_module.h"
#include "platform/ui/shown_window.h"

namespace platform {

namespace {

// A download reports every block it receives; the widgets follow at most
// this often, so that a fast download is not slowed by its window.
constexpr double kRedrawInterval = 1.0 / 30;
constexpr guint kPulseMilliseconds = 100;
// The content's width and the image area's height, in logical pixels (GTK
// doubles them at 200 % scaling).
constexpr int kContentWidth = 400;
constexpr int kImageHeight = 240;

struct GObjectUnref {
  void operator()(gpointer object) const { g_object_unref(object); }
};
using Pixbuf = std::unique_ptr<GdkPixbuf, GObjectUnref>;

// One control of the window and the widget that shows it, with what the
// widget shows now, so that an unchanged control costs GTK nothing.
struct Binding {
  Control* control;
  GtkWidget* widget;
  std::string text;
  Color color = Color::kControlText;
  std::string imagePath;
  Pixbuf pixbuf;
  ImageScaling scaling = ImageScaling::kProportionallyDown;
  guint pulse = 0;  // the timeout that animates an indeterminate bar
};

// The bundle's name without ".app": the window's title.
std::string bundleName(const Window& window) {
  std::optional<BundlePaths> bundle = Service<MainBundle>::get().mainBundle();
  if (!bundle || bundle->bundlePath.empty()) return window.title();
  std::string name = std::filesystem::path(bundle->bundlePath).filename();
  const std::string suffix = ".app";
  if (name.size() > suffix.size() &&
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
    name.resize(name.size() - suffix.size());
  }
  return name.empty() ? window.title() : name;
}

// Paints the image into the area as its scaling asks, centred.
gboolean drawImage(GtkWidget* area, cairo_t* cr, gpointer data) {
  const Binding& binding = *static_cast<const Binding*>(data);
  if (!binding.pixbuf) return FALSE;
  const double width = gtk_widget_get_allocated_width(area);
  const double height = gtk_widget_get_allocated_height(area);
  const double imageWidth = gdk_pixbuf_get_width(binding.pixbuf.get());
  const double imageHeight = gdk_pixbuf_get_height(binding.pixbuf.get());
  double scaleX = width / imageWidth;
  double scaleY = height / imageHeight;
  const double fit = std::min(scaleX, scaleY);
  switch (binding.scaling) {
    case ImageScaling::kProportionallyUpOrDown:
      scaleX = scaleY = fit;
      break;
    case ImageScaling::kProportionallyDown:
      scaleX = scaleY = std::min(fit, 1.0);
      break;
    case ImageScaling::kNone:
      scaleX = scaleY = 1.0;
      break;
    case ImageScaling::kAxesIndependently:
      break;
  }
  cairo_translate(cr, (width - imageWidth * scaleX) / 2,
                  (height - imageHeight * scaleY) / 2);
  cairo_scale(cr, scaleX, scaleY);
  gdk_cairo_set_source_pixbuf(cr, binding.pixbuf.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  return FALSE;
}

gboolean pulseBar(gpointer bar) {
  gtk_progress_bar_pulse(GTK_PROGRESS_BAR(bar));
  return G_SOURCE_CONTINUE;
}

void clickButton(GtkButton*, gpointer control) {
  static_cast<Button*>(control)->performClick();
}

// A text tall enough for two lines, so that a two-line failure does not
// change the window's size.
GtkWidget* newStatusLabel() {
  GtkWidget* label = gtk_label_new(nullptr);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 1);  // wraps at its width
  PangoLayout* layout = gtk_widget_create_pango_layout(label, "Ag\nAg");
  int height = 0;
  pango_layout_get_pixel_size(layout, nullptr, &height);
  g_object_unref(layout);
  gtk_widget_set_size_request(label, kContentWidth, height);
  return label;
}

// Shows the window as a fixed-size GTK dialog window, centred on the
// screen: the image area, the texts, the bar and the buttons top to bottom.
// GTK's events come through the application's own loop (GlibPollSource),
// served by the same thread as the download.
class GtkFrontEnd : public FrontEnd {
 public:
  ~GtkFrontEnd() override { destroy(); }

  void windowDidShow(Window& window, EventLoop& loop) override {
    shown_.show(window, loop);
    loop_ = &loop;
    loop.setPollSource(&glib_);
    build(window);
    apply();
    lastRedraw_ = loop.now();
    gtk_widget_show_all(toplevel_);
    gtk_window_present(GTK_WINDOW(toplevel_));
  }

  // Applies the change at once unless the widgets changed less than
  // kRedrawInterval ago; then once that interval is over.
  void draw(const Window&) override {
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
  void windowDidClose(Window&) override { destroy(); }

 private:
  void build(Window& window) {
    toplevel_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    GtkWindow* gtkWindow = GTK_WINDOW(toplevel_);
    gtk_window_set_title(gtkWindow, bundleName(window).c_str());
    gtk_window_set_resizable(gtkWindow, FALSE);
    gtk_window_set_position(gtkWindow, GTK_WIN_POS_CENTER);
    gtk_window_set_type_hint(gtkWindow, GDK_WINDOW_TYPE_HINT_DIALOG);
    gtk_container_set_border_width(GTK_CONTAINER(toplevel_), 20);
    g_signal_connect(toplevel_, "delete-event", G_CALLBACK(closeBox), this);
    g_signal_connect(toplevel_, "key-press-event", G_CALLBACK(keyPress), this);

    GtkWidget* column = gtk_box_new(GTK_ORIENTATION_VERTICAL, 12);
    gtk_container_add(GTK_CONTAINER(toplevel_), column);
    GtkWidget* buttons = gtk_button_box_new(GTK_ORIENTATION_HORIZONTAL);
    gtk_button_box_set_layout(GTK_BUTTON_BOX(buttons), GTK_BUTTONBOX_END);
    gtk_box_pack_end(GTK_BOX(column), buttons, FALSE, FALSE, 0);
    for (Control* control : window.controls()) {
      auto binding = std::make_unique<Binding>();
      binding->control = control;
      if (dynamic_cast<ImageView*>(control) != nullptr) {
        binding->widget = gtk_drawing_area_new();
        gtk_widget_set_size_request(binding->widget, kContentWidth,
                                    kImageHeight);
        g_signal_connect(binding->widget, "draw", G_CALLBACK(drawImage),
                         binding.get());
        AtkObject* accessible = gtk_widget_get_accessible(binding->widget);
        atk_object_set_role(accessible, ATK_ROLE_IMAGE);
        atk_object_set_name(accessible, "splash");
      } else if (dynamic_cast<TextFieldCell*>(control) != nullptr) {
        binding->widget = newStatusLabel();
      } else if (dynamic_cast<ProgressIndicator*>(control) != nullptr) {
        binding->widget = gtk_progress_bar_new();
        gtk_progress_bar_set_pulse_step(GTK_PROGRESS_BAR(binding->widget), 0.1);
      } else if (auto* button = dynamic_cast<Button*>(control)) {
        binding->widget = gtk_button_new_with_label(button->title().c_str());
        g_signal_connect(binding->widget, "clicked", G_CALLBACK(clickButton),
                         button);
        gtk_container_add(GTK_CONTAINER(buttons), binding->widget);
        if (button->keyEquivalent() == "\r") {
          gtk_widget_set_can_default(binding->widget, TRUE);
          gtk_window_set_default(gtkWindow, binding->widget);
          gtk_widget_grab_focus(binding->widget);
        }
      } else {
        continue;
      }
      if (gtk_widget_get_parent(binding->widget) == nullptr) {
        gtk_box_pack_start(GTK_BOX(column), binding->widget, FALSE, FALSE, 0);
      }
      bindings_.push_back(std::move(binding));
    }
  }

  void redraw() {
    apply();
    lastRedraw_ = loop_->now();
  }

  // Brings every widget in line with its control.
  void apply() {
    for (const std::unique_ptr<Binding>& binding : bindings_) {
      Control* control = binding->control;
      if (auto* image = dynamic_cast<ImageView*>(control)) {
        applyImage(*image, binding.get());
      } else if (auto* text = dynamic_cast<TextFieldCell*>(control)) {
        applyText(*text, binding.get());
      } else if (auto* bar = dynamic_cast<ProgressIndicator*>(control)) {
        applyBar(*bar, binding.get());
      } else if (auto* button = dynamic_cast<Button*>(control)) {
        gtk_widget_set_sensitive(binding->widget, button->isEnabled());
      }
    }
  }

  static void applyImage(const ImageView& view, Binding* binding) {
    const std::string path = view.image() ? view.image()->path() : "";
    if (path == binding->imagePath && view.imageScaling() == binding->scaling) {
      return;
    }
    binding->imagePath = path;
    binding->scaling = view.imageScaling();
    // An image that does not decode leaves the area empty.
    binding->pixbuf.reset(
        path.empty() ? nullptr
                     : gdk_pixbuf_new_from_file(path.c_str(), nullptr));
    gtk_widget_queue_draw(binding->widget);
  }

  static void applyText(const TextFieldCell& text, Binding* binding) {
    GtkLabel* label = GTK_LABEL(binding->widget);
    if (text.stringValue() != binding->text) {
      binding->text = text.stringValue();
      gtk_label_set_text(label, binding->text.c_str());
    }
    if (text.textColor() != binding->color) {
      binding->color = text.textColor();
      PangoAttrList* attributes = pango_attr_list_new();
      if (binding->color == Color::kRed) {
        pango_attr_list_insert(attributes,
                               pango_attr_foreground_new(0xffff, 0, 0));
      }
      gtk_label_set_attributes(label, attributes);
      pango_attr_list_unref(attributes);
    }
  }

  static void applyBar(const ProgressIndicator& indicator, Binding* binding) {
    GtkProgressBar* bar = GTK_PROGRESS_BAR(binding->widget);
    const bool pulsing = indicator.isIndeterminate() && indicator.isAnimating();
    if (pulsing && binding->pulse == 0) {
      binding->pulse = g_timeout_add(kPulseMilliseconds, pulseBar, bar);
    } else if (!pulsing) {
      stopPulse(binding);
      const double fraction =
          indicator.isIndeterminate() || indicator.maxValue() <= 0
              ? 0.0
              : indicator.doubleValue() / indicator.maxValue();
      gtk_progress_bar_set_fraction(bar, std::clamp(fraction, 0.0, 1.0));
    }
  }

  static void stopPulse(Binding* binding) {
    if (binding->pulse != 0) g_source_remove(binding->pulse);
    binding->pulse = 0;
  }

  // The close box closes the window as the model's close does; GTK's own
  // handling, which would destroy it, is stopped.
  static gboolean closeBox(GtkWidget*, GdkEvent*, gpointer self) {
    if (Window* window = static_cast<GtkFrontEnd*>(self)->shown_.ref().get()) {
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
    for (const std::unique_ptr<Binding>& binding : bindings_) {
      auto* button = dynamic_cast<Button*>(binding->control);
      if (button != nullptr && button->keyEquivalent() == "\r") {
        button->performClick();  // may close the window: bindings_ is gone
        return;
      }
    }
  }

  // Takes the window off the screen at once and stops serving GTK.
  void destroy() {
    if (toplevel_ == nullptr) return;
    if (redrawPending_) loop_->cancelDelayed(redrawTimer_);
    redrawPending_ = false;
    for (const std::unique_ptr<Binding>& binding : bindings_) {
      stopPulse(binding.get());
    }
    gtk_widget_destroy(toplevel_);
    toplevel_ = nullptr;
    bindings_.clear();
    gdk_display_sync(gdk_display_get_default());
    loop_->setPollSource(nullptr);
    shown_.hide();
  }

  GlibPollSource glib_;
  ShownWindow shown_;
  EventLoop* loop_ = nullptr;
  GtkWidget* toplevel_ = nullptr;
  std::vector<std::unique_ptr<Binding>> bindings_;
  double lastRedraw_ = 0;
  bool redrawPending_ = false;
  EventLoop::TimerId redrawTimer_ = 0;
};

}  // namespace

}  // namespace platform

extern "C" __attribute__((visibility("default"))) platform::FrontEnd*
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
