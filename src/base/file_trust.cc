#include "base/file_trust.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

std::string untrusted_reason(const struct stat& sb, const std::string& name) {
  if (sb.st_uid != geteuid()) {
    return "it belongs to uid " + std::to_string(sb.st_uid) +
           ", not to you (make a copy of your own to use it)";
  }
  if (sb.st_mode & (S_IWGRP | S_IWOTH)) {
    return "others can write it (chmod go-w " + name + " to use it)";
  }
  return std::string();
}

std::string absolute_path(const std::string& name, std::string* error) {
  if (!name.empty() && name[0] == '/') return name;
  char* cwd = getcwd(nullptr, 0);
  if (!cwd) {
    *error = std::string("cannot tell the working directory: ") + strerror(errno);
    return std::string();
  }
  std::string path = cwd;
  free(cwd);
  if (path.empty() || path.back() != '/') path += '/';
  return path + name;
}
