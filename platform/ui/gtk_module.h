#ifndef PLATFORM_UI_GTK_MODULE_H_
#define PLATFORM_UI_GTK_MODULE_H_

#include "platform/ui/front_ends.h"

// The GTK front end lives in a module of its own, loaded at run time, so
// that the executable needs no GUI library. The module lies beside the
// executable and resolves the window classes against it.
namespace platform {

constexpr char kGtkModuleName[] = "bootstrapper-gtk.so";
constexpr char kGtkEntryName[] = "bootstrapper_new_gtk_front_end";

}  // namespace platform

// The module's entry: initialises GTK and returns a new front end, which
// the caller owns, or nullptr when GTK cannot open a display.
extern "C" ui::FrontEnd* bootstrapper_new_gtk_front_end();
using NewGtkFrontEndEntry = decltype(&bootstrapper_new_gtk_front_end);

#endif  // PLATFORM_UI_GTK_MODULE_H_
