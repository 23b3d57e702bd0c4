#ifndef PLATFORM_NET_TLS_OBSERVER_H_
#define PLATFORM_NET_TLS_OBSERVER_H_

#include <curl/curl.h>

#include <string>

namespace platform {

// Looks on at the TLS connections libcurl makes through OpenSSL and keeps
// two facts libcurl does not tell: what the verification refused in the
// server's certificate chain (libcurl's "unable to get local issuer
// certificate" says nothing a user or an administrator could check), and
// whether the server ended its connection with a close_notify (libcurl
// takes a connection closed without one as the end of a body that has no
// length). With a TLS library other than OpenSSL nothing is recorded.
class TlsObserver {
 public:
  // Has every connection of "easy" report to this object, which must
  // outlive the transfer and its connections.
  void watch(CURL* easy);
  // What was refused, as a sentence, or "" when nothing was.
  std::string describeRefusal() const;
  // Whether the server sent close_notify on the latest connection.
  bool closedCleanly() const { return closeNotified_; }

 private:
  static CURLcode onSslContext(CURL* easy, void* context, void* self);

  int error_ = 0;  // OpenSSL's X509_V_ERR_*, 0 while nothing was refused
  std::string subject_;  // of the server's own certificate
  std::string issuer_;   // of the certificate that was refused
  bool closeNotified_ = false;
};

}  // namespace platform

#endif  // PLATFORM_NET_TLS_OBSERVER_H_
