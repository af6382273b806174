// The indexer over arbitrary bytes in one pass, its table compared field by
// field with the model of the indexing rules. Reads hand out everything asked
// for, or steps of 97 bytes and more, so that lines still span the indexer's
// blocks; reads of a byte or a few, the file growing and the line reader
// are fuzz_index_growth's, which pays for them in speed.
#include "index_model.h"

using namespace fuzz_index;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in;
  if (!decode(data, size, &in)) return 0;
  // What the indexer says is not looked at.
  static FILE* const null_out = fopen("/dev/null", "w");
  Console con;
  con.out = con.err = con.my_stdout = null_out;
  auto owned = std::make_unique<MemoryScanFile>(std::move(in.file));
  MemoryScanFile& file = *owned;
  owned->set_read_step((in.choice >> 3) < 16 ? 0 : read_step(in.choice));
  IndexTable t;
  index_use(t, std::move(owned), "fuzz.dat");
  index_file(t, con);
  check_table(t, file.bytes(), "one pass");
  return 0;
}
