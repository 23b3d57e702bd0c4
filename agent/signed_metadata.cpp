#include "agent/signed_metadata.h"

#include <algorithm>

namespace {

// Enough for any unix time, and short enough never to overflow.
constexpr std::size_t kMaxTimeDigits = 18;

bool parseUnixTime(std::string_view text, std::optional<std::int64_t>* time) {
  if (text.empty() || text.size() > kMaxTimeDigits ||
      !std::all_of(text.begin(), text.end(),
                   [](char c) { return c >= '0' && c <= '9'; })) {
    return false;
  }
  std::int64_t value = 0;
  for (const char digit : text) value = value * 10 + (digit - '0');
  *time = value;
  return true;
}

bool parseAgent(std::string_view text, std::optional<std::string>* agent) {
  const std::size_t slash = text.find('/');
  if (slash == 0 || slash == std::string_view::npos ||
      slash + 1 == text.size() ||
      text.find('/', slash + 1) != std::string_view::npos) {
    return false;
  }
  *agent = std::string(text);
  return true;
}

}  // namespace

bool parseSignedMetadata(std::string_view trustedComment,
                         SignedMetadata* metadata, std::string* error) {
  *metadata = SignedMetadata{};
  while (true) {
    const std::size_t end =
        std::min(trustedComment.find('\t'), trustedComment.size());
    const std::string_view field = trustedComment.substr(0, end);
    const std::size_t colon = field.find(':');
    if (colon != std::string_view::npos) {
      const std::string_view name = field.substr(0, colon);
      const std::string_view value = field.substr(colon + 1);
      bool known = true;
      bool given = false;
      bool parsed = false;
      if (name == "timestamp") {
        given = metadata->timestamp.has_value();
        parsed = parseUnixTime(value, &metadata->timestamp);
      } else if (name == "expires") {
        given = metadata->expires.has_value();
        parsed = parseUnixTime(value, &metadata->expires);
      } else if (name == "agent") {
        given = metadata->agent.has_value();
        parsed = parseAgent(value, &metadata->agent);
      } else {
        known = false;
      }
      if (known && (given || !parsed)) {
        *error = "The trusted comment's field \"" + std::string(name) +
                 (given ? "\" is given twice." : "\" does not parse.");
        return false;
      }
    }
    if (end == trustedComment.size()) return true;
    trustedComment.remove_prefix(end + 1);
  }
}
