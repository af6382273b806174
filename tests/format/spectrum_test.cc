#include "format/spectrum.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// A spectrum read from its lines, as "v,v,...[int digits|float][cut][bad]".
std::string read(std::initializer_list<const char*> lines) {
  Spectrum s;
  std::string scratch;
  bool first = true;
  for (const char* l : lines) {
    add_spectrum_line(l, first, &s, &scratch);
    first = false;
  }
  std::string out;
  char b[32];
  for (double v : s.counts) out += std::string(b, size_t(snprintf(b, sizeof b, "%.17g,", v)));
  out += s.integers ? "[int " + std::to_string(s.digits) + "]" : "[float]";
  return out + (s.complete ? "" : "[cut]") + (s.bad ? "[bad]" : "");
}

TEST(Spectrum, ValuesOfEveryLineAndTheirKind) {
  EXPECT_EQ(read({"@A 1 2\\\n", " 30 -4\\ \r\n", "5\n"}), "1,2,30,-4,5,[int 2]");
  EXPECT_EQ(read({"@A12 7 0012\n"}), "7,12,[int 4]");  // the analyser's number is not a value
  EXPECT_EQ(read({"@A 1 2.5 1e3\n"}), "1,2.5,1000,[float]");
  EXPECT_EQ(read({"@A 1 2\\\n"}), "1,2,[int 1][cut]");
  EXPECT_EQ(read({"@A 1 x 3\n"}), "1,[int 1][bad]");
  EXPECT_EQ(read({"@A\n"}), "[int 0]");
  // Values past the most kept are passed over, however many lines continue.
  Spectrum s;
  std::string scratch, line(kMostChannels, '1');
  for (size_t k = 1; k < line.size(); k += 2) line[k] = ' ';
  add_spectrum_line("@A " + line + "\\", true, &s, &scratch);
  add_spectrum_line(line + "\\", false, &s, &scratch);
  add_spectrum_line(line, false, &s, &scratch);
  EXPECT_EQ(s.counts.size(), kMostChannels);
  EXPECT_TRUE(s.capped && s.complete);
}

TEST(McaHeader, FieldsPerAnalyserOrOneForAll) {
  McaHeader h;
  for (const char* l : {"#@MCA 16C\r\n", "#@CHANN 1201 1110 1200 1\n", "#@CHANN 4 0 6 2\n",
                        "#@CALIB 0.1 0.01 0.001\n", "#@CTIME 1 0.9\n", "#@MCA_NB 2\n"})
    h.add_line(l);
  EXPECT_FALSE(h.add_line("#N 3\n"));
  EXPECT_EQ(h.layout, "16C");
  McaInfo a = h.analyser(0), b = h.analyser(1), c = h.analyser(5);
  EXPECT_EQ(a.channels, 1201);
  EXPECT_EQ(a.channel(2), 1112);
  EXPECT_EQ(b.channel(2), 4);   // reduction 2
  EXPECT_EQ(c.channels, 1201);  // no line of its own: the first
  EXPECT_DOUBLE_EQ(b.energy(10), 0.1 + 0.1 + 0.1);
  EXPECT_EQ(b.ctimes, 2);
  EXPECT_DOUBLE_EQ(b.ctime[1], 0.9);
  EXPECT_FALSE(McaHeader().analyser(0).has_calib);
  EXPECT_DOUBLE_EQ(McaHeader().analyser(0).energy(7), 7);  // no calibration: the channel
}

}  // namespace
