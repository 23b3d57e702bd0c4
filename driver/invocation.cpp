#include "driver/invocation.h"

#include <algorithm>
#include <cstdlib>
#include <iterator>

namespace {

bool isSetAndNotEmpty(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0';
}

// A number in (0, 1]; anything else leaves the pauses as they are.
double retryWaitScale(const char* text) {
  if (text == nullptr || *text == '\0') return 1.0;
  char* end = nullptr;
  const double scale = std::strtod(text, &end);
  return *end == '\0' && scale > 0.0 && scale <= 1.0 ? scale : 1.0;
}

// Whole seconds above 0; anything else is 0.
std::int64_t clockAhead(const char* text) {
  if (text == nullptr || *text == '\0') return 0;
  char* end = nullptr;
  const long long seconds = std::strtoll(text, &end, 10);
  return *end == '\0' && seconds > 0 ? seconds : 0;
}

// What libcurl reads itself: where one is set, libcurl's choice stands
// over the desktop's settings.
constexpr const char* kProxyVariables[] = {"http_proxy", "https_proxy",
                                           "HTTPS_PROXY", "all_proxy",
                                           "ALL_PROXY", "no_proxy",
                                           "NO_PROXY"};

}  // namespace

Invocation readInvocation() {
  Invocation invocation;
  invocation.payloadBesideBundle =
      std::getenv("__QZ_BOOTSTRAP_INSTALLER_UNITTEST__") != nullptr;
  invocation.releaseClockAhead =
      clockAhead(std::getenv("__QZ_BOOTSTRAP_CLOCK_AHEAD__"));
  WindowSettings& window = invocation.window;
  const char* requested = std::getenv("QZ_INSTALLER_FRONT_END");
  window.requestedFrontEnd = requested != nullptr ? requested : "";
  window.hasDisplay =
      isSetAndNotEmpty("DISPLAY") || isSetAndNotEmpty("WAYLAND_DISPLAY");
  window.retryWaitScale =
      retryWaitScale(std::getenv("__QZ_BOOTSTRAP_RETRY_WAIT_SCALE__"));
  const char* caFile = std::getenv("SSL_CERT_FILE");
  window.connection.trustedCAFile = caFile != nullptr ? caFile : "";
  window.connection.systemProxy =
      std::none_of(std::begin(kProxyVariables), std::end(kProxyVariables),
                   isSetAndNotEmpty);
  return invocation;
}
