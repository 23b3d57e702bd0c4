#ifndef PLATFORM_NET_CURL_HANDLES_H_
#define PLATFORM_NET_CURL_HANDLES_H_

#include <curl/curl.h>

#include <memory>

namespace platform {

// Owners of libcurl's handles, released with libcurl's own calls.
struct CurlEasyCleanup {
  void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct CurlMultiCleanup {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct CurlShareCleanup {
  void operator()(CURLSH* share) const { curl_share_cleanup(share); }
};
struct CurlSlistFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyCleanup>;
using CurlMulti = std::unique_ptr<CURLM, CurlMultiCleanup>;
using CurlShare = std::unique_ptr<CURLSH, CurlShareCleanup>;
using CurlSlist = std::unique_ptr<curl_slist, CurlSlistFree>;

}  // namespace platform

#endif  // PLATFORM_NET_CURL_HANDLES_H_
