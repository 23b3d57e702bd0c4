#ifndef PLATFORM_NET_CURL_WEB_DOWNLOAD_H_
#define PLATFORM_NET_CURL_WEB_DOWNLOAD_H_

#include "platform/net/web_download.h"

namespace platform {

// Single attempts over libcurl, without retries: what Real() retries.
WebDownloadFactory& curlWebDownloadFactory();

}  // namespace platform

#endif  // PLATFORM_NET_CURL_WEB_DOWNLOAD_H_
