#include "platform/ui/front_end.h"

#include <unistd.h>

namespace platform {

std::unique_ptr<FrontEnd> NewDefaultFrontEnd() {
  if (isatty(STDERR_FILENO)) return NewTerminalFrontEnd(STDERR_FILENO);
  return NewHeadlessFrontEnd();
}

}  // namespace platform
