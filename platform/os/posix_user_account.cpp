#include <pwd.h>
#include <unistd.h>

#include <vector>

#include "platform/os/user_account.h"

namespace platform {

namespace {

class RealUserAccount : public UserAccount {
 public:
  std::optional<std::string> homeDirectory() override {
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
    passwd entry;
    passwd* found = nullptr;
    if (getpwuid_r(geteuid(), &entry, buffer.data(), buffer.size(), &found) !=
            0 ||
        found == nullptr || found->pw_dir == nullptr || *found->pw_dir == '\0') {
      return std::nullopt;
    }
    return std::string(found->pw_dir);
  }
};

}  // namespace

UserAccount& UserAccount::Real() {
  static RealUserAccount account;
  return account;
}

}  // namespace platform
