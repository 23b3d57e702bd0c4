#ifndef PLATFORM_NET_RANGE_RESPONSE_H_
#define PLATFORM_NET_RANGE_RESPONSE_H_

#include <optional>

#include "platform/net/web_download.h"

namespace platform {

// How the answer to a request that asked to resume at "resumeFrom" (or at
// nothing) goes into the file.
enum class BodyStart {
  kFromZero,  // a whole body: the file starts over
  kAppend,    // a 206 whose Content-Range continues at the offset, up to the
              // same total, and whose ETag (if any) is the same
  kMismatch,  // a range that does not continue the file, or a 416
};
BodyStart bodyStart(const std::optional<ResumePoint>& resumeFrom,
                    const URLResponse& response);

}  // namespace platform

#endif  // PLATFORM_NET_RANGE_RESPONSE_H_
