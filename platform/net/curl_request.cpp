#include "platform/net/curl_request.h"

#include <strings.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "platform/net/system_proxy.h"
#include "platform/os/service.h"

namespace platform {
namespace {

// Larger than libcurl's 16 KiB default: fewer writes and fewer progress
// updates on a fast link, and still nothing like the size of an archive.
constexpr long kReceiveBufferBytes = 128 * 1024;
constexpr long kMaxRedirects = 10;

void setTimeouts(CURL* easy, double seconds) {
  // "No byte for the interval" is a speed below one byte per second for
  // that long; connecting (TLS included) has the same bound.
  curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(seconds * 1000));
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
  curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME,
                   std::max(1L, static_cast<long>(std::ceil(seconds))));
}

void setSecurity(CURL* easy, const URLRequest& request) {
  curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https,file");
  // Not libcurl's guess of http.
  curl_easy_setopt(easy, CURLOPT_DEFAULT_PROTOCOL, "https");
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(easy, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!request.connection.trustedCAFile.empty()) {
    // In place of the system's CAs, so the system's directory goes too.
    curl_easy_setopt(easy, CURLOPT_CAINFO, request.connection.trustedCAFile.c_str());
    curl_easy_setopt(easy, CURLOPT_CAPATH, nullptr);
  }
  curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(easy, CURLOPT_MAXREDIRS, kMaxRedirects);
  // A download that starts on plain http may move up to https; one that
  // starts on https stays there.
  bool plain = strncasecmp(request.url.c_str(), "http:", 5) == 0;
  curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR,
                   plain ? "http,https" : "https");
}

}  // namespace

void setCurlRequest(CURL* easy, const URLRequest& request, CurlSlist* fields) {
  curl_easy_setopt(easy, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferBytes);
  // The archive as it is, though a server may encode it anyway (Apache's
  // force-gzip): libcurl then decodes gzip and deflate.
  curl_easy_setopt(easy, CURLOPT_ACCEPT_ENCODING, "identity");
  setTimeouts(easy, request.timeoutInterval);
  setSecurity(easy, request);
  if (request.connection.systemProxy) {
    std::string proxy = Service<SystemProxy>::get().proxyFor(request.url);
    if (!proxy.empty()) curl_easy_setopt(easy, CURLOPT_PROXY, proxy.c_str());
  }
  HeaderFields fieldsToSend = request.headerFields;
  if (request.resumeFrom) {
    // If-Range: the rest only while the entity is the one begun, else all.
    fieldsToSend.emplace_back(
        "Range", "bytes=" + std::to_string(request.resumeFrom->offset) + "-");
    fieldsToSend.emplace_back("If-Range", request.resumeFrom->etag);
  }
  for (const auto& [name, value] : fieldsToSend) {
    std::string line = name + ": " + value;
    curl_slist* list = curl_slist_append(fields->get(), line.c_str());
    if (list == nullptr) break;  // out of memory: send what we have
    fields->release();           // "list" is the same list, grown
    fields->reset(list);
  }
  curl_easy_setopt(easy, CURLOPT_HTTPHEADER, fields->get());
}

}  // namespace platform
