#ifndef PLATFORM_OS_USER_ACCOUNT_H_
#define PLATFORM_OS_USER_ACCOUNT_H_

#include <optional>
#include <string>

namespace platform {

// The account the process runs as (its effective user). Abstract so tests
// can supply one; the real one reads the password database.
class UserAccount {
 public:
  virtual ~UserAccount() = default;
  // The account's home directory; nullopt when the database has no entry
  // or an empty one.
  virtual std::optional<std::string> homeDirectory() = 0;

  static UserAccount& Real();
};

}  // namespace platform

#endif  // PLATFORM_OS_USER_ACCOUNT_H_
