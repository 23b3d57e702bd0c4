#include "platform/net/url_user_info.h"

#include <algorithm>

namespace platform {

std::string withoutUserInfo(const std::string& url) {
  const std::size_t scheme = url.find("://");
  const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
  const std::size_t end = std::min(url.find_first_of("/?#", start), url.size());
  // The last "@" ends it: a password may hold another.
  const std::size_t at = url.substr(start, end - start).rfind('@');
  if (at == std::string::npos) return url;
  return url.substr(0, start) + url.substr(start + at + 1);
}

}  // namespace platform
