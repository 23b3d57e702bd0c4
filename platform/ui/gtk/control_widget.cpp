#include "platform/ui/gtk/control_widget.h"

#include <algorithm>

namespace platform {

namespace {

constexpr guint kPulseMilliseconds = 100;

gboolean pulseBar(gpointer bar) {
  gtk_progress_bar_pulse(GTK_PROGRESS_BAR(bar));
  return G_SOURCE_CONTINUE;
}

void clickButton(GtkButton*, gpointer button) {
  static_cast<ui::Button*>(button)->performClick();
}

// A label as tall as two lines, so that a two-line failure does not change
// the window's size.
GtkWidget* newTextLabel() {
  GtkWidget* label = gtk_label_new(nullptr);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  gtk_label_set_line_wrap(GTK_LABEL(label), TRUE);
  gtk_label_set_max_width_chars(GTK_LABEL(label), 1);  // wraps at its width
  PangoLayout* layout = gtk_widget_create_pango_layout(label, "Ag\nAg");
  int height = 0;
  pango_layout_get_pixel_size(layout, nullptr, &height);
  g_object_unref(layout);
  gtk_widget_set_size_request(label, ControlWidget::kWidth, height);
  return label;
}

// In place of a splash that is missing or does not decode: the window's
// title, the product's name, centred in large type.
void drawName(GtkWidget* area, cairo_t* cr, double width, double height) {
  GtkWidget* toplevel = gtk_widget_get_toplevel(area);
  if (!GTK_IS_WINDOW(toplevel)) return;
  const char* name = gtk_window_get_title(GTK_WINDOW(toplevel));
  if (name == nullptr) return;
  PangoLayout* layout = gtk_widget_create_pango_layout(area, name);
  PangoFontDescription* font = pango_font_description_from_string("Sans Bold 24");
  pango_layout_set_font_description(layout, font);
  pango_font_description_free(font);
  pango_layout_set_width(layout, static_cast<int>(width) * PANGO_SCALE);
  pango_layout_set_alignment(layout, PANGO_ALIGN_CENTER);
  pango_layout_set_ellipsize(layout, PANGO_ELLIPSIZE_END);
  int textHeight = 0;
  pango_layout_get_pixel_size(layout, nullptr, &textHeight);
  GdkRGBA color;
  gtk_style_context_get_color(gtk_widget_get_style_context(area),
                              GTK_STATE_FLAG_NORMAL, &color);
  gdk_cairo_set_source_rgba(cr, &color);
  cairo_move_to(cr, 0, (height - textHeight) / 2);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
}

}  // namespace

std::unique_ptr<ControlWidget> ControlWidget::For(ui::Control* control) {
  GtkWidget* widget = nullptr;
  if (dynamic_cast<ui::ImageView*>(control) != nullptr) {
    widget = gtk_drawing_area_new();
    gtk_widget_set_size_request(widget, kWidth, kImageHeight);
    atk_object_set_role(gtk_widget_get_accessible(widget), ATK_ROLE_IMAGE);
  } else if (dynamic_cast<ui::TextFieldCell*>(control) != nullptr) {
    widget = newTextLabel();
  } else if (dynamic_cast<ui::ProgressIndicator*>(control) != nullptr) {
    widget = gtk_progress_bar_new();
    gtk_progress_bar_set_pulse_step(GTK_PROGRESS_BAR(widget), 0.1);
  } else if (auto* button = dynamic_cast<ui::Button*>(control)) {
    widget = gtk_button_new_with_label(button->title().c_str());
    g_signal_connect(widget, "clicked", G_CALLBACK(clickButton), button);
  } else {
    return nullptr;
  }
  std::unique_ptr<ControlWidget> shown(new ControlWidget(control, widget));
  if (GTK_IS_DRAWING_AREA(widget)) {
    g_signal_connect(widget, "draw", G_CALLBACK(drawImage), shown.get());
  }
  return shown;
}

ControlWidget::~ControlWidget() {
  stopPulse();
  g_signal_handlers_disconnect_by_data(widget_, this);
}

void ControlWidget::update() {
  if (auto* image = dynamic_cast<ui::ImageView*>(control_)) {
    updateImage(*image);
  } else if (auto* text = dynamic_cast<ui::TextFieldCell*>(control_)) {
    updateText(*text);
  } else if (auto* bar = dynamic_cast<ui::ProgressIndicator*>(control_)) {
    updateBar(*bar);
  } else if (auto* button = dynamic_cast<ui::Button*>(control_)) {
    gtk_widget_set_sensitive(widget_, button->isEnabled());
  }
}

gboolean ControlWidget::drawImage(GtkWidget* area, cairo_t* cr,
                                  gpointer self) {
  const ControlWidget& shown = *static_cast<const ControlWidget*>(self);
  GdkPixbuf* pixbuf = shown.pixbuf_.get();
  const double width = gtk_widget_get_allocated_width(area);
  const double height = gtk_widget_get_allocated_height(area);
  if (pixbuf == nullptr) {
    drawName(area, cr, width, height);
    return FALSE;
  }
  const double imageWidth = gdk_pixbuf_get_width(pixbuf);
  const double imageHeight = gdk_pixbuf_get_height(pixbuf);
  const double fit = std::min(width / imageWidth, height / imageHeight);
  const double scale =
      shown.scaling_ == ui::ImageScaling::kProportionallyUpOrDown
          ? fit
          : std::min(fit, 1.0);
  cairo_translate(cr, (width - imageWidth * scale) / 2,
                  (height - imageHeight * scale) / 2);
  cairo_scale(cr, scale, scale);
  gdk_cairo_set_source_pixbuf(cr, pixbuf, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_paint(cr);
  return FALSE;
}

void ControlWidget::updateImage(const ui::ImageView& view) {
  const std::string path = view.image() ? view.image()->path() : "";
  if (path == imagePath_ && view.imageScaling() == scaling_) return;
  imagePath_ = path;
  scaling_ = view.imageScaling();
  // An image that does not decode leaves the area empty.
  pixbuf_.reset(path.empty() ? nullptr
                             : gdk_pixbuf_new_from_file(path.c_str(), nullptr));
  gtk_widget_queue_draw(widget_);
}

void ControlWidget::updateText(const ui::TextFieldCell& text) {
  GtkLabel* label = GTK_LABEL(widget_);
  if (text.stringValue() != text_) {
    text_ = text.stringValue();
    gtk_label_set_text(label, text_.c_str());
  }
  if (text.textColor() != color_) {
    color_ = text.textColor();
    // A red text is a failure: screen readers announce it as an alert.
    AtkObject* accessible = gtk_widget_get_accessible(widget_);
    const bool alert = color_ == ui::Color::kRed;
    atk_object_set_role(accessible, alert ? ATK_ROLE_ALERT : ATK_ROLE_LABEL);
    if (alert) atk_object_notify_state_change(accessible, ATK_STATE_SHOWING, TRUE);
    PangoAttrList* attributes = pango_attr_list_new();
    if (color_ == ui::Color::kRed) {
      pango_attr_list_insert(attributes, pango_attr_foreground_new(0xffff, 0, 0));
    }
    gtk_label_set_attributes(label, attributes);
    pango_attr_list_unref(attributes);
  }
}

void ControlWidget::updateBar(const ui::ProgressIndicator& indicator) {
  GtkProgressBar* bar = GTK_PROGRESS_BAR(widget_);
  const bool pulsing = indicator.isIndeterminate() && indicator.isAnimating();
  if (pulsing) {
    if (pulse_ == 0) pulse_ = g_timeout_add(kPulseMilliseconds, pulseBar, bar);
    return;
  }
  stopPulse();
  const double fraction =
      indicator.isIndeterminate() || indicator.maxValue() <= 0
          ? 0.0
          : indicator.doubleValue() / indicator.maxValue();
  gtk_progress_bar_set_fraction(bar, std::clamp(fraction, 0.0, 1.0));
}

void ControlWidget::stopPulse() {
  if (pulse_ != 0) g_source_remove(pulse_);
  pulse_ = 0;
}

}  // namespace platform
