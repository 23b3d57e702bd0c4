#include "platform/net/response_header_reader.h"

#include <cstdlib>

namespace platform {
namespace {

std::string_view trim(std::string_view text) {
  const char* blanks = " \t\r\n";
  size_t begin = text.find_first_not_of(blanks);
  if (begin == std::string_view::npos) return {};
  size_t end = text.find_last_not_of(blanks);
  return text.substr(begin, end - begin + 1);
}

}  // namespace

bool ResponseHeaderReader::addLine(std::string_view line) {
  HeaderFields& fields = response_.headerFields;
  if (line.substr(0, 5) == "HTTP/") {
    fields.clear();
    size_t blank = line.find(' ');
    std::string code(blank == std::string_view::npos
                         ? std::string_view()
                         : trim(line.substr(blank + 1)).substr(0, 3));
    response_.statusCode = std::strtol(code.c_str(), nullptr, 10);
    return false;
  }
  if (trim(line).empty()) return isFinal();
  if ((line[0] == ' ' || line[0] == '\t') && !fields.empty()) {
    fields.back().second += " ";
    fields.back().second += trim(line);
    return false;
  }
  size_t colon = line.find(':');
  if (colon == std::string_view::npos) return false;
  fields.emplace_back(trim(line.substr(0, colon)),
                       trim(line.substr(colon + 1)));
  return false;
}

bool ResponseHeaderReader::isFinal() const {
  long status = response_.statusCode;
  if (status >= 100 && status < 200) return false;
  bool redirect = status >= 300 && status < 400 && status != 304;
  return !(redirect && response_.valueForHeaderField("Location"));
}

}  // namespace platform
