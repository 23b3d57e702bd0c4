#ifndef DRIVER_TEMP_DIR_H_
#define DRIVER_TEMP_DIR_H_

#include <string>

// Owns one fresh working directory, "qz" and six random characters in the
// user's temporary directory (or /tmp), created with mode 0700. The
// directory and everything put into it are removed on destruction.
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

 private:
  std::string path_;
};

#endif  // DRIVER_TEMP_DIR_H_
