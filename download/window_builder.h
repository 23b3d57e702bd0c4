#ifndef DOWNLOAD_WINDOW_BUILDER_H_
#define DOWNLOAD_WINDOW_BUILDER_H_

#include <memory>
#include <string>

#include "download/download.h"
#include "platform/net/web_download.h"
#include "ui/application.h"
#include "ui/controls.h"
#include "ui/front_end.h"
#include "ui/window.h"

// Everything the download window is made of, wired together: the window and
// its controls, the one Download controller (outlets connected before its
// init runs; delegate of the application and of the window), and the cancel
// button, whose action closes the window.
struct DownloadWindow {
  explicit DownloadWindow(std::string title) : window(std::move(title)) {}
  ui::Window window;
  ui::ImageView image;
  ui::TextFieldCell status;
  ui::TextFieldCell detail;
  ui::ProgressIndicator progress;
  ui::Button cancel{"Cancel"};
  Download controller;
};

// Builds the window, titled with the bundle's name without ".app" (else
// "Installer"), on "frontEnd" for "application"; the controller starts
// its downloads on "downloads", reaching the server as "connection" says.
// "application", "frontEnd" and "downloads" must outlive the
// result. nullptr when the controller's init fails.
std::unique_ptr<DownloadWindow> buildDownloadWindow(
    ui::Application& application, ui::FrontEnd& frontEnd,
    platform::WebDownloadFactory& downloads,
    const platform::Connection& connection);

#endif  // DOWNLOAD_WINDOW_BUILDER_H_
