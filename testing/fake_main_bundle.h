#ifndef TESTING_FAKE_MAIN_BUNDLE_H_
#define TESTING_FAKE_MAIN_BUNDLE_H_

#include <optional>

#include "platform/os/main_bundle.h"

namespace platform {

// A main bundle that is whatever the test says; none by default.
struct FakeMainBundle : MainBundle {
  std::optional<BundlePaths> mainBundle() override { return bundle; }
  std::optional<BundlePaths> bundle;
};

}  // namespace platform

#endif  // TESTING_FAKE_MAIN_BUNDLE_H_
