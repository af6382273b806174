// The export's file driver, through the library's driver calls.
#include "output/hdf5_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "testutil.h"

namespace {

struct Driver {
  HeldFile io;
  H5FD_t* f = nullptr;
  Driver(int fd, size_t most) {
    io.fd = fd;
    io.most = most;
    hid_t fapl = H5Pcreate(H5P_FILE_ACCESS);
    if (set_fapl_held(fapl, &io)) f = H5FDopen("unused", H5F_ACC_RDWR, fapl, HADDR_UNDEF);
    H5Pclose(fapl);
    if (f) H5FDset_eoa(f, H5FD_MEM_DEFAULT, 1 << 20);
  }
  bool write(haddr_t at, const std::string& s) {
    return H5FDwrite(f, H5FD_MEM_DEFAULT, H5P_DEFAULT, at, s.size(), s.data()) >= 0;
  }
  std::string read(haddr_t at, size_t n) {
    std::string s(n, '?');
    return H5FDread(f, H5FD_MEM_DEFAULT, H5P_DEFAULT, at, n, &s[0]) >= 0 ? s : "(failed)";
  }
};

// Writes held or written out, overlapping, adjacent, large and past the end
// of the file, read back alike while held and after the close.
TEST(Hdf5File, WritesReadBackHeldOrWritten) {
  const std::string big(70000, 'B');
  for (size_t most : {size_t(16), size_t(1) << 20}) {
    TempDir dir;
    const int fd = open(dir.file("f").c_str(), O_RDWR | O_CREAT, 0644);
    std::string want(80000, '\0');
    {
      Driver d(fd, most);
      ASSERT_NE(d.f, nullptr);
      const std::pair<haddr_t, std::string> steps[] = {
          {100, "abcdef"}, {90, "0123456789"}, {103, "XYZ!!"}, {106, "ghij"},
          {50, big},       {60, "small"},      {2, "z"},       {79990, "end"}};
      for (const auto& [at, s] : steps) {
        ASSERT_TRUE(d.write(at, s));
        want.replace(at, s.size(), s);
        EXPECT_EQ(d.read(0, 80000), want) << "most " << most << " after " << at;
        EXPECT_EQ(d.read(95, 20), want.substr(95, 20)) << "most " << most << " after " << at;
      }
      EXPECT_EQ(d.read(79995, 10), std::string(10, '\0')) << "past the end: zeros";
      // The file ends where the library's allocated space ends.
      H5FDset_eoa(d.f, H5FD_MEM_DEFAULT, 80000);
      ASSERT_GE(H5FDtruncate(d.f, H5P_DEFAULT, false), 0);
      ASSERT_GE(H5FDclose(d.f), 0);
    }
    close(fd);
    EXPECT_EQ(read_file(dir.file("f")), want) << "most " << most;
  }
}

// The errno of a failed write is kept for the report.
TEST(Hdf5File, FailureKeepsTheReason) {
  TempDir dir;
  dir.write("f", "");
  const int fd = open(dir.file("f").c_str(), O_RDONLY);
  Driver d(fd, 1 << 20);
  ASSERT_NE(d.f, nullptr);
  EXPECT_TRUE(d.write(0, "held"));
  EXPECT_LT(H5FDflush(d.f, H5P_DEFAULT, 0), 0);
  EXPECT_EQ(d.io.error, EBADF);
  d.io.discard = true;  // as the export does before closing a failed file
  EXPECT_GE(H5FDclose(d.f), 0);
  close(fd);
}

}  // namespace
