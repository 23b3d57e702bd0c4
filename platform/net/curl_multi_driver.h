#ifndef PLATFORM_NET_CURL_MULTI_DRIVER_H_
#define PLATFORM_NET_CURL_MULTI_DRIVER_H_

#include <curl/curl.h>

#include <functional>
#include <optional>
#include <set>

#include "platform/net/curl_handles.h"
#include "platform/loop/event_loop.h"

namespace platform {

// Runs one libcurl transfer on an EventLoop through the multi interface: it
// watches the sockets libcurl asks for and keeps libcurl's timer, and lets
// libcurl act when either fires. Nothing runs inside libcurl but libcurl's
// own callbacks; the owner learns of progress through "afterAction".
class CurlMultiDriver {
 public:
  // Starts "easy", which must outlive the driver, as must "loop".
  // "afterAction" runs from the loop each time libcurl has acted; it may
  // destroy the driver.
  CurlMultiDriver(EventLoop& loop, CURL* easy,
                  std::function<void()> afterAction);
  // Stops the transfer if it is still running; no callback follows.
  ~CurlMultiDriver();
  CurlMultiDriver(const CurlMultiDriver&) = delete;
  CurlMultiDriver& operator=(const CurlMultiDriver&) = delete;

  // The transfer's result once it has ended, else nullopt.
  std::optional<CURLcode> result();

 private:
  static int onSocket(CURL* easy, curl_socket_t socket, int what,
                      void* driver, void* socketData);
  static int onTimer(CURLM* multi, long timeoutMs, void* driver);
  void setTimer(long timeoutMs);
  void act(curl_socket_t socket, int eventMask);

  EventLoop& loop_;
  CURL* easy_;
  std::function<void()> afterAction_;
  CurlMulti multi_;
  bool added_ = false;
  std::set<curl_socket_t> watched_;
  std::optional<EventLoop::TimerId> timer_;
};

}  // namespace platform

#endif  // PLATFORM_NET_CURL_MULTI_DRIVER_H_
