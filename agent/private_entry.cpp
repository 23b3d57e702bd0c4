#include "agent/private_entry.h"

#include <unistd.h>

bool isPrivateEntry(const struct stat& info) {
  return info.st_uid == geteuid() && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}
