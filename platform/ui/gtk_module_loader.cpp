#include <dlfcn.h>

#include <filesystem>
#include <string>

#include "platform/ui/front_ends.h"
#include "platform/ui/gtk_module.h"

namespace platform {

namespace {

std::string modulePath() {
  std::error_code ignored;
  const std::filesystem::path executable =
      std::filesystem::read_symlink("/proc/self/exe", ignored);
  return (executable.parent_path() / kGtkModuleName).string();
}

std::unique_ptr<ui::FrontEnd> fail(const std::string& why, std::string* error) {
  *error = why;
  return nullptr;
}

}  // namespace

std::unique_ptr<ui::FrontEnd> LoadGtkFrontEnd(std::string* error) {
  // Never closed: GTK cannot be unloaded, and the front end's code lives in
  // the module. Bound lazily, which spares resolving GTK's thousands of
  // functions up front; a missing library still fails here, and the module
  // is built with the executable whose symbols it uses.
  void* module = dlopen(modulePath().c_str(), RTLD_LAZY | RTLD_LOCAL);
  if (module == nullptr) return fail(dlerror(), error);
  auto entry =
      reinterpret_cast<NewGtkFrontEndEntry>(dlsym(module, kGtkEntryName));
  if (entry == nullptr) return fail(dlerror(), error);
  std::unique_ptr<ui::FrontEnd> frontEnd(entry());
  if (!frontEnd) return fail("GTK cannot open the display.", error);
  return frontEnd;
}

}  // namespace platform
