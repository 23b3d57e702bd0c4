#include "download/window_builder.h"

std::unique_ptr<DownloadWindow> buildDownloadWindow(
    ui::Application& application, ui::FrontEnd& frontEnd,
    platform::WebDownloadFactory& downloads, const std::string& trustedCAFile) {
  auto built = std::make_unique<DownloadWindow>();
  ui::Window& window = built->window;
  window.addControl(&built->image);
  window.addControl(&built->status);
  window.addControl(&built->detail);
  window.addControl(&built->progress);
  window.addControl(&built->cancel);
  built->status.setStringValue("Connecting to the download server");

  Download& controller = built->controller;
  controller.setWindow(&window);
  controller.setImage(&built->image);
  controller.setDownloadPercent(&built->status);
  controller.setDetail(&built->detail);
  controller.setProgress(&built->progress);
  controller.setCancel(&built->cancel);
  controller.setDownloadFactory(&downloads);
  controller.setTrustedCAFile(trustedCAFile);
  if (!controller.init()) return nullptr;

  application.setDelegate(&controller);
  application.setMainWindow(&window);
  window.setDelegate(&controller);
  window.setFrontEnd(&frontEnd);
  // Cancelling is closing: the controller cancels the download and ends the
  // run only when its window closes.
  built->cancel.setAction([&window] { window.close(); });
  return built;
}
