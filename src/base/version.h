// The program's name and release, as `?`, the usage text and written files
// give them. The release number comes from the build (CMakeLists.txt).
#ifndef KURVATAB_BASE_VERSION_H_
#define KURVATAB_BASE_VERSION_H_

extern const char kProgramRelease[];  // "kurvatab, rel 2.03"
extern const char kProgramDate[];     // "Dec 12 2002"

#endif  // KURVATAB_BASE_VERSION_H_
