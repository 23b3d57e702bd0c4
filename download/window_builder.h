#ifndef DOWNLOAD_WINDOW_BUILDER_H_
#define DOWNLOAD_WINDOW_BUILDER_H_

#include <memory>

#include "download/download.h"
#include "platform/ui/application.h"
#include "platform/ui/controls.h"
#include "platform/ui/front_end.h"
#include "platform/ui/window.h"

// Everything the download window is made of, wired together: the window and
// its controls, the one Download controller (outlets connected before its
// init runs; delegate of the application and of the window), and the cancel
// button, whose action closes the window.
struct DownloadWindow {
  platform::Window window{"Installer"};
  platform::ImageView image;
  platform::TextFieldCell status;
  platform::ProgressIndicator progress;
  platform::Button cancel{"Cancel"};
  Download controller;
};

// Builds the window on "frontEnd" for "application". Both must outlive the
// result. nullptr when the controller's init fails.
std::unique_ptr<DownloadWindow> buildDownloadWindow(
    platform::Application& application, platform::FrontEnd& frontEnd);

#endif  // DOWNLOAD_WINDOW_BUILDER_H_
