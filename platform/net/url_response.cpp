#include <strings.h>

#include <algorithm>
#include <cctype>

#include "platform/net/web_download.h"

namespace platform {

std::optional<std::string> URLResponse::valueForHeaderField(
    const std::string& name) const {
  // Field names are ASCII tokens (RFC 9110), so an ASCII fold is enough.
  auto sameLetter = [](unsigned char a, unsigned char b) {
    return std::tolower(a) == std::tolower(b);
  };
  for (const auto& [field, value] : headerFields) {
    if (std::equal(field.begin(), field.end(), name.begin(), name.end(),
                   sameLetter)) {
      return value;
    }
  }
  return std::nullopt;
}

bool URLResponse::hasContentCoding() const {
  std::optional<std::string> coding = valueForHeaderField("Content-Encoding");
  return coding && !coding->empty() &&
         strcasecmp(coding->c_str(), "identity") != 0;
}

}  // namespace platform
