#include "download/failure_advice.h"

const char kSignatureAdvice[] =
    "The download could not be verified as the vendor's; contact the vendor.";

std::string failureAdvice(const platform::DownloadError& error) {
  using platform::DownloadFailure;
  switch (error.failure) {
    case DownloadFailure::kCannotConnect:
      // libcurl names the proxy only when its name does not resolve.
      if (error.localizedDescription.find("proxy") != std::string::npos) {
        return "The proxy cannot be reached; check the proxy settings "
               "(https_proxy).";
      }
      return "Check the internet connection.";
    case DownloadFailure::kConnectionLost:
    case DownloadFailure::kTimedOut:
      return "Check the internet connection.";
    case DownloadFailure::kRangeMismatch:
      return "The installer changed on the server during the download; try "
             "again.";
    case DownloadFailure::kHttpStatus: {
      const long status = error.response ? error.response->statusCode : 0;
      const std::string code = "(HTTP " + std::to_string(status) + ")";
      if (status == 404 || status == 410) {
        return "The installer is not on the server " + code +
               "; contact the vendor.";
      }
      if (status >= 500) {
        return "The server could not send the installer " + code +
               "; try again later.";
      }
      return "The server refused the download " + code +
             "; contact the vendor.";
    }
    case DownloadFailure::kOther:
      break;
  }
  // The network's and the disk's own sentences say what happened and, for
  // a proxy, a certificate or a full disk, what to look at.
  return error.localizedDescription;
}
