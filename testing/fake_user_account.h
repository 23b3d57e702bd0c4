#ifndef TESTING_FAKE_USER_ACCOUNT_H_
#define TESTING_FAKE_USER_ACCOUNT_H_

#include <optional>
#include <string>
#include <utility>

#include "platform/os/user_account.h"

namespace platform {

// An account whose home directory is whatever the test says.
struct FakeUserAccount : UserAccount {
  explicit FakeUserAccount(std::optional<std::string> home = std::nullopt)
      : home(std::move(home)) {}
  std::optional<std::string> homeDirectory() override { return home; }
  std::optional<std::string> home;
};

}  // namespace platform

#endif  // TESTING_FAKE_USER_ACCOUNT_H_
