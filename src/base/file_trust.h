// Files the program picks up by itself (the initialization file, the
// automatic Grace parameter files) can make Grace write any file the user
// may write. Such a file is used only when it belongs to the user and no one
// else can write it.
#ifndef KURVATAB_BASE_FILE_TRUST_H_
#define KURVATAB_BASE_FILE_TRUST_H_

#include <sys/stat.h>

#include <string>

// Empty when the file described by `sb` belongs to this process's user and
// neither its group nor others may write it. Otherwise why not and how to
// fix it, for a message about the file called `name`, e.g.
// "others can write it (chmod go-w kurvatab.par to use it)".
std::string untrusted_reason(const struct stat& sb, const std::string& name);

// `name` as an absolute path: a relative name is put behind the working
// directory (nothing else is changed). Empty, with *error set to a message,
// when the working directory cannot be had.
std::string absolute_path(const std::string& name, std::string* error);

#endif  // KURVATAB_BASE_FILE_TRUST_H_
