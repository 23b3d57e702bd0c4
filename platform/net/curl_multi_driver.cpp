#include "platform/net/curl_multi_driver.h"

#include <poll.h>

namespace platform {

CurlMultiDriver::CurlMultiDriver(EventLoop& loop, CURL* easy,
                                 std::function<void()> afterAction)
    : loop_(loop),
      easy_(easy),
      afterAction_(std::move(afterAction)),
      multi_(curl_multi_init()) {
  if (multi_) {
    curl_multi_setopt(multi_.get(), CURLMOPT_SOCKETFUNCTION, onSocket);
    curl_multi_setopt(multi_.get(), CURLMOPT_SOCKETDATA, this);
    curl_multi_setopt(multi_.get(), CURLMOPT_TIMERFUNCTION, onTimer);
    curl_multi_setopt(multi_.get(), CURLMOPT_TIMERDATA, this);
    added_ = easy_ && curl_multi_add_handle(multi_.get(), easy_) == CURLM_OK;
  }
  // Adding arms libcurl's timer, which starts the transfer from the loop. A
  // transfer that could not be added gets the same start, to report that.
  if (!added_) setTimer(0);
}

CurlMultiDriver::~CurlMultiDriver() {
  // Removing the handle and closing connections call onSocket and onTimer,
  // so both happen while this object is whole.
  if (added_) curl_multi_remove_handle(multi_.get(), easy_);
  multi_.reset();
  for (curl_socket_t socket : watched_) loop_.unwatch(socket);
  if (timer_) loop_.cancelDelayed(*timer_);
}

std::optional<CURLcode> CurlMultiDriver::result() {
  if (!added_) return CURLE_FAILED_INIT;
  int queued = 0;
  while (CURLMsg* message = curl_multi_info_read(multi_.get(), &queued)) {
    if (message->msg == CURLMSG_DONE) return message->data.result;
  }
  return std::nullopt;
}

int CurlMultiDriver::onSocket(CURL*, curl_socket_t socket, int what,
                              void* driverPointer, void*) {
  auto* driver = static_cast<CurlMultiDriver*>(driverPointer);
  if (what == CURL_POLL_REMOVE) {
    driver->loop_.unwatch(socket);
    driver->watched_.erase(socket);
    return 0;
  }
  short events = 0;
  if (what == CURL_POLL_IN || what == CURL_POLL_INOUT) events |= POLLIN;
  if (what == CURL_POLL_OUT || what == CURL_POLL_INOUT) events |= POLLOUT;
  driver->loop_.watch(socket, events, [driver, socket](short revents) {
    int mask = 0;
    if (revents & (POLLIN | POLLHUP)) mask |= CURL_CSELECT_IN;
    if (revents & POLLOUT) mask |= CURL_CSELECT_OUT;
    if (revents & (POLLERR | POLLNVAL)) mask |= CURL_CSELECT_ERR;
    driver->act(socket, mask);
  });
  driver->watched_.insert(socket);
  return 0;
}

int CurlMultiDriver::onTimer(CURLM*, long timeoutMs, void* driverPointer) {
  static_cast<CurlMultiDriver*>(driverPointer)->setTimer(timeoutMs);
  return 0;
}

void CurlMultiDriver::setTimer(long timeoutMs) {
  if (timer_) loop_.cancelDelayed(*timer_);
  timer_.reset();
  if (timeoutMs < 0) return;
  timer_ = loop_.performAfterDelay(timeoutMs / 1000.0, [this] {
    timer_.reset();
    act(CURL_SOCKET_TIMEOUT, 0);
  });
}

void CurlMultiDriver::act(curl_socket_t socket, int eventMask) {
  int running = 0;
  if (added_) curl_multi_socket_action(multi_.get(), socket, eventMask, &running);
  // A copy, as the hook may destroy this driver and with it afterAction_.
  std::function<void()> afterAction = afterAction_;
  afterAction();
}

}  // namespace platform
