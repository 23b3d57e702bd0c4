#ifndef PLATFORM_NET_CURL_REQUEST_H_
#define PLATFORM_NET_CURL_REQUEST_H_

#include <curl/curl.h>

#include "platform/net/curl_handles.h"
#include "platform/net/web_download.h"

namespace platform {

// Puts "request" on "easy": its URL, header fields and time-out, and the
// rules every download follows: http, https and file only (a URL without a
// scheme is https); certificate and host name always verified, against the
// CAs in the request's trustedCAFile instead of the system's when it names
// one; proxies from the usual variables, else from the desktop's settings
// (SystemProxy); up to 10 redirects, never from https to another scheme;
// the identity coding asked for, gzip and deflate decoded. "*fields"
// receives the header list that "easy" points to,
// so it must outlive the transfer.
void setCurlRequest(CURL* easy, const URLRequest& request, CurlSlist* fields);

}  // namespace platform

#endif  // PLATFORM_NET_CURL_REQUEST_H_
