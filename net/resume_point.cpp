#include "net/resume_point.h"

#include <strings.h>

#include <string>

namespace net {

std::optional<platform::ResumePoint> resumePointFor(const platform::URLResponse& response,
                                          std::int64_t received) {
  std::optional<std::string> etag = response.valueForHeaderField("ETag");
  std::optional<std::string> ranges =
      response.valueForHeaderField("Accept-Ranges");
  std::int64_t total = response.expectedContentLength;
  // A weak ETag may not stand in If-Range. The file holds an encoded body
  // decoded, so its length is no offset into the encoded one.
  if (!etag || etag->empty() || etag->rfind("W/", 0) == 0 || !ranges ||
      response.hasContentCoding() ||
      strcasecmp(ranges->c_str(), "bytes") != 0 || received <= 0 ||
      (total >= 0 && received >= total)) {
    return std::nullopt;
  }
  return platform::ResumePoint{received, *etag, total};
}

}  // namespace net
