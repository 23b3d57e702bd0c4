#include "agent/bundle_mirrors.h"

#include <algorithm>
#include <sstream>

#include "agent/bundle_paths.h"
#include "agent/small_file.h"

namespace {

// Far more than any bundle needs; a larger file is no list of mirrors.
constexpr std::size_t kMaxMirrorsFileSize = 64 * 1024;

// "https://", a host, and no blank or control character anywhere.
bool isHttpsUrl(const std::string& line) {
  const std::string scheme = "https://";
  if (line.compare(0, scheme.size(), scheme) != 0) return false;
  if (line.size() == scheme.size() || line[scheme.size()] == '/') return false;
  return std::none_of(line.begin(), line.end(), [](unsigned char c) {
    return c <= ' ' || c == 0x7F;
  });
}

}  // namespace

bool parseMirrors(const std::string& text, const std::string& path,
                  std::vector<std::string>* urls, std::string* error) {
  urls->clear();
  std::istringstream lines(text);
  std::string line;
  for (int number = 1; std::getline(lines, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (!isHttpsUrl(line)) {
      *error = "Cannot use the mirrors in " + path + ": line " +
               std::to_string(number) + " is not an https URL.";
      urls->clear();
      return false;
    }
    urls->push_back(line);
  }
  return true;
}

bool loadBundleMirrors(std::vector<std::string>* urls, std::string* error) {
  urls->clear();
  const std::string path = getInstallAgentMirrorsLocation();
  if (path.empty() || isAbsentFile(path)) return true;
  std::string text;
  std::string reason;
  if (!readSmallFile(path, kMaxMirrorsFileSize, &text, &reason)) {
    *error = "Cannot use the mirrors in " + path + ": " + reason;
    return false;
  }
  return parseMirrors(text, path, urls, error);
}
