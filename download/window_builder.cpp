#include "download/window_builder.h"

#include <filesystem>
#include <optional>

#include "platform/os/main_bundle.h"
#include "platform/os/service.h"

namespace {

std::string windowTitle() {
  const std::string fallback = "Installer";
  std::optional<platform::BundlePaths> bundle =
      platform::Service<platform::MainBundle>::get().mainBundle();
  if (!bundle || bundle->bundlePath.empty()) return fallback;
  std::string name = std::filesystem::path(bundle->bundlePath).filename();
  const std::string suffix = ".app";
  if (name.size() > suffix.size() &&
      name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0) {
    name.resize(name.size() - suffix.size());
  }
  return name.empty() ? fallback : name;
}

}  // namespace

std::unique_ptr<DownloadWindow> buildDownloadWindow(
    ui::Application& application, ui::FrontEnd& frontEnd,
    platform::WebDownloadFactory& downloads,
    const platform::Connection& connection) {
  auto built = std::make_unique<DownloadWindow>(windowTitle());
  ui::Window& window = built->window;
  // Until the download says otherwise, the window's end is the user's.
  window.setSummary("cancelled");
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
  controller.setConnection(connection);
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
