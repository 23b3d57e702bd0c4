#ifndef PLATFORM_NET_SYSTEM_PROXY_H_
#define PLATFORM_NET_SYSTEM_PROXY_H_

#include <string>
#include <vector>

namespace platform {

// The proxy that the desktop's settings choose for a URL (GNOME's settings,
// a PAC file, WPAD). A program started from a file manager has no proxy
// variables; where the environment has one, libcurl follows it and this
// is not asked (Connection::systemProxy).
class SystemProxy {
 public:
  virtual ~SystemProxy() = default;

  // A proxy as CURLOPT_PROXY takes it, or "" for none: a direct connection,
  // or no answer to be had.
  virtual std::string proxyFor(const std::string& url) = 0;

  // libproxy's answers where it is installed; elsewhere always "".
  static SystemProxy& Real();
};

// The first entry of libproxy's answer ("direct://", "http://host:port",
// "socks5://host:port", ...) that libcurl can use, as CURLOPT_PROXY takes
// it: "" for "direct://", and for an answer with no usable entry.
std::string firstUsableProxy(const std::vector<std::string>& answer);

}  // namespace platform

#endif  // PLATFORM_NET_SYSTEM_PROXY_H_
