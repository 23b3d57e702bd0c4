#ifndef PLATFORM_NET_RESPONSE_HEADER_READER_H_
#define PLATFORM_NET_RESPONSE_HEADER_READER_H_

#include <string_view>

#include "platform/net/web_download.h"

namespace platform {

// Reads the header lines of an HTTP exchange, as libcurl hands them over one
// by one, and keeps the status and fields of the latest response. A
// transfer can see several responses before its final one: interim ones
// (1xx) and redirects that get followed.
class ResponseHeaderReader {
 public:
  // Takes one line, line ending included: a status line ("HTTP/1.1 200 OK"),
  // which starts a new response, a field ("Name: value"), a folded
  // continuation of the previous field, or the blank line that ends the
  // response's header. True when "line" ended the header of a response that
  // is final: neither interim nor a redirect (3xx but 304 with a Location).
  bool addLine(std::string_view line);

  // The status and fields of the latest response; nothing else is set.
  const URLResponse& response() const { return response_; }

 private:
  bool isFinal() const;

  URLResponse response_;
};

}  // namespace platform

#endif  // PLATFORM_NET_RESPONSE_HEADER_READER_H_
