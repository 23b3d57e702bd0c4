#ifndef DOWNLOAD_FAILURE_ADVICE_H_
#define DOWNLOAD_FAILURE_ADVICE_H_

#include <string>

#include "platform/net/web_download.h"

// What the download window says under its red text when the archive could
// not be fetched: what happened and what to do, in one line, for "error".
std::string failureAdvice(const platform::DownloadError& error);

// The same for an archive whose signature was refused.
extern const char kSignatureAdvice[];

#endif  // DOWNLOAD_FAILURE_ADVICE_H_
