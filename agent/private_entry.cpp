#include "agent/private_entry.h"

#include <unistd.h>

bool isPrivateEntry(const struct stat& info) {
  return info.st_uid == geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

bool isGuardedDirectory(const struct stat& info) {
  return S_ISDIR(info.st_mode) &&
         (info.st_uid == geteuid() || info.st_uid == 0) &&
         ((info.st_mode & (S_IWGRP | S_IWOTH)) == 0 ||
          (info.st_mode & S_ISVTX) != 0);
}
