#ifndef PLATFORM_NET_CERTIFICATE_CHECK_H_
#define PLATFORM_NET_CERTIFICATE_CHECK_H_

#include <curl/curl.h>

#include <string>

namespace platform {

// Remembers what OpenSSL refused in the server's certificate chain while
// libcurl's handshake verifies it, so that the failure can name the
// certificate. libcurl's own text ("unable to get local issuer
// certificate") says nothing a user or an administrator could check. With a
// TLS library other than OpenSSL nothing is recorded.
class CertificateCheck {
 public:
  // Has every connection of "easy" report to this object, which must
  // outlive the transfer and its connections.
  void watch(CURL* easy);
  // What was refused, as a sentence, or "" when nothing was.
  std::string describe() const;

 private:
  static CURLcode onSslContext(CURL* easy, void* context, void* self);

  int error_ = 0;  // OpenSSL's X509_V_ERR_*, 0 while nothing was refused
  std::string subject_;  // of the server's own certificate
  std::string issuer_;   // of the certificate that was refused
};

}  // namespace platform

#endif  // PLATFORM_NET_CERTIFICATE_CHECK_H_
