#ifndef PLATFORM_UI_FRONT_ENDS_H_
#define PLATFORM_UI_FRONT_ENDS_H_

#include <memory>
#include <string>

#include "ui/front_end.h"

namespace platform {

// Draws on the terminal "fd": a status line and a bar redrawn in place, a red
// text in red; Return, read from "fd" too, presses the button whose key
// equivalent is "\r". On Ctrl-Z (SIGTSTP) it gives the terminal back before
// the process stops and draws again on SIGCONT. "fd" must stay open while
// the front end exists.
std::unique_ptr<ui::FrontEnd> NewTerminalFrontEnd(int fd);
// Shows the window on the desktop with GTK, from the module beside the
// executable (gtk_module.h). nullptr, with "*error" set to why on one line,
// when the module, GTK or the display is missing.
std::unique_ptr<ui::FrontEnd> LoadGtkFrontEnd(std::string* error);
// The first front end of ui::frontEndsToTry that can be shown, on standard
// error for a terminal: "requested" names one (QZ_INSTALLER_FRONT_END), and
// "hasDisplay" says whether a display is named. Why the window could not be
// shown goes to the system log, on one line.
std::unique_ptr<ui::FrontEnd> NewDefaultFrontEnd(const std::string& requested,
                                                 bool hasDisplay);

}  // namespace platform

#endif  // PLATFORM_UI_FRONT_ENDS_H_
