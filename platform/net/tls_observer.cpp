#include "platform/net/tls_observer.h"

#include <openssl/bio.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>

#include <memory>

namespace platform {
namespace {

// Where a context keeps the observer it reports to.
int observerIndex() {
  static const int index =
      SSL_CTX_get_ex_new_index(0, nullptr, nullptr, nullptr, nullptr);
  return index;
}

// A name as a person reads it: the common name alone when there is one,
// control characters replaced, since the server chose the text.
std::string readable(X509_NAME* name) {
  std::string text;
  if (name == nullptr) return text;
  int at = X509_NAME_get_index_by_NID(name, NID_commonName, -1);
  unsigned char* utf8 = nullptr;
  int length = -1;
  if (at >= 0) {
    length = ASN1_STRING_to_UTF8(
        &utf8, X509_NAME_ENTRY_get_data(X509_NAME_get_entry(name, at)));
  }
  if (length >= 0) {
    text.assign(reinterpret_cast<char*>(utf8), length);
    OPENSSL_free(utf8);
  } else {
    std::unique_ptr<BIO, decltype(&BIO_free)> out(BIO_new(BIO_s_mem()),
                                                  BIO_free);
    if (out && X509_NAME_print_ex(out.get(), name, 0, XN_FLAG_RFC2253) >= 0) {
      char* data = nullptr;
      long size = BIO_get_mem_data(out.get(), &data);
      text.assign(data, size);
    }
  }
  for (char& c : text) {
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = '?';
  }
  return text;
}

bool isUntrustedIssuer(int error) {
  switch (error) {
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
      return true;
    default:
      return false;
  }
}

TlsObserver* observerOf(const SSL* ssl) {
  return static_cast<TlsObserver*>(
      SSL_CTX_get_ex_data(SSL_get_SSL_CTX(ssl), observerIndex()));
}

}  // namespace

void TlsObserver::watch(CURL* easy) {
  curl_easy_setopt(easy, CURLOPT_SSL_CTX_FUNCTION, onSslContext);
  curl_easy_setopt(easy, CURLOPT_SSL_CTX_DATA, this);
}

// Each connection gets a context of its own.
CURLcode TlsObserver::onSslContext(CURL*, void* context, void* self) {
  auto* sslContext = static_cast<SSL_CTX*>(context);
  static_cast<TlsObserver*>(self)->closeNotified_ = false;
  SSL_CTX_set_ex_data(sslContext, observerIndex(), self);
  // libcurl has set the mode; the callback only looks on, and OpenSSL's
  // verdict stands.
  SSL_CTX_set_verify(
      sslContext, SSL_CTX_get_verify_mode(sslContext),
      [](int verified, X509_STORE_CTX* store) {
        TlsObserver* observer = observerOf(static_cast<SSL*>(
            X509_STORE_CTX_get_ex_data(store,
                                       SSL_get_ex_data_X509_STORE_CTX_idx())));
        if (verified == 0 && observer != nullptr && observer->error_ == 0) {
          observer->error_ = X509_STORE_CTX_get_error(store);
          observer->subject_ =
              readable(X509_get_subject_name(X509_STORE_CTX_get0_cert(store)));
          observer->issuer_ = readable(
              X509_get_issuer_name(X509_STORE_CTX_get_current_cert(store)));
        }
        return verified;
      });
  SSL_CTX_set_info_callback(sslContext, [](const SSL* ssl, int where,
                                           int alert) {
    TlsObserver* observer = observerOf(ssl);
    if ((where & SSL_CB_READ_ALERT) == SSL_CB_READ_ALERT &&
        (alert & 0xff) == SSL_AD_CLOSE_NOTIFY && observer != nullptr) {
      observer->closeNotified_ = true;
    }
  });
  return CURLE_OK;
}

std::string TlsObserver::describeRefusal() const {
  if (error_ == 0) return "";
  if (isUntrustedIssuer(error_)) {
    return "The server's certificate was issued by '" + issuer_ +
           "', which this computer does not trust. It names '" + subject_ +
           "'.";
  }
  return "The server's certificate for '" + subject_ + "', issued by '" +
         issuer_ + "', was refused: " + X509_verify_cert_error_string(error_) +
         ".";
}

}  // namespace platform
