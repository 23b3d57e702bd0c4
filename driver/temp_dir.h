#ifndef DRIVER_TEMP_DIR_H_
#define DRIVER_TEMP_DIR_H_

#include <string>

// Owns one fresh working directory, "qz" and six random characters in the
// user's temporary directory, or in /tmp when there is none or it cannot
// take one, created with mode 0700. The directory and everything put into
// it are removed on destruction.
class TempDir {
 public:
  // "name" is accepted and not used; the directory's name is always random.
  explicit TempDir(std::string name);
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory's path without a trailing separator, or "" when none could
  // be created.
  std::string getDir() const;
  // Why there is no directory, in one line; "" when there is one.
  const std::string& failure() const { return failure_; }

 private:
  // Makes the directory in "base"; false, with failure_ set, when it cannot.
  bool create(const std::string& base);

  std::string path_;
  std::string failure_;
};

#endif  // DRIVER_TEMP_DIR_H_
