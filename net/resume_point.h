#ifndef NET_RESUME_POINT_H_
#define NET_RESUME_POINT_H_

#include <cstdint>
#include <optional>

#include "platform/net/web_download.h"

namespace net {

// Where a body cut short after "received" bytes can be taken up again:
// only when "response", the answer that started it, carried a strong ETag
// and "Accept-Ranges: bytes" and no content coding, and some but not all of
// the body arrived.
std::optional<platform::ResumePoint> resumePointFor(const platform::URLResponse& response,
                                          std::int64_t received);

}  // namespace net

#endif  // NET_RESUME_POINT_H_
