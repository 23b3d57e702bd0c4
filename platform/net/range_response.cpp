#include "platform/net/range_response.h"

#include <cinttypes>
#include <cstdio>
#include <string>

namespace platform {
namespace {

struct ContentRange {
  std::int64_t first = 0;
  std::int64_t last = 0;
  std::int64_t total = -1;  // "*"
};

// "bytes first-last/total" or "bytes first-last/*".
std::optional<ContentRange> parseContentRange(const std::string& value) {
  ContentRange range;
  int consumed = 0;
  if (std::sscanf(value.c_str(), " bytes %" SCNd64 "-%" SCNd64 "/%n",
                  &range.first, &range.last, &consumed) != 2 ||
      consumed == 0) {
    return std::nullopt;
  }
  std::string total = value.substr(static_cast<std::size_t>(consumed));
  total.erase(total.find_last_not_of(" \t") + 1);
  if (total == "*") return range;
  if (total.empty() || total.find_first_not_of("0123456789") !=
                           std::string::npos || total.size() > 18) {
    return std::nullopt;
  }
  range.total = std::stoll(total);
  return range;
}

}  // namespace

BodyStart bodyStart(const std::optional<ResumePoint>& resumeFrom,
                    const URLResponse& response) {
  if (!resumeFrom) return BodyStart::kFromZero;
  if (response.statusCode == 416) return BodyStart::kMismatch;
  if (response.statusCode != 206) return BodyStart::kFromZero;
  std::optional<ContentRange> range;
  if (auto value = response.valueForHeaderField("Content-Range")) {
    range = parseContentRange(*value);
  }
  std::optional<std::string> etag = response.valueForHeaderField("ETag");
  bool continues =
      range && range->first == resumeFrom->offset &&
      (resumeFrom->totalLength < 0
           ? true
           : range->total == resumeFrom->totalLength &&
                 range->last == resumeFrom->totalLength - 1) &&
      (!etag || *etag == resumeFrom->etag);
  return continues ? BodyStart::kAppend : BodyStart::kMismatch;
}

}  // namespace platform
