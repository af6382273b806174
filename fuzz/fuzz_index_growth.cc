// The indexer over arbitrary bytes, as a growing scan file meets it: the
// file is indexed in two steps (a first part, then the rest appended), then
// afresh, each read handing out as few as one byte so that lines span the
// readers' blocks; each table is compared field by field with the model, and
// the line reader must give the file back byte for byte.
#include "index_model.h"

using namespace fuzz_index;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input in;
  if (!decode(data, size, &in)) return 0;
  const std::string& file = in.file;
  const size_t cut = in.cut;

  // What the indexer says is not looked at.
  static FILE* const null_out = fopen("/dev/null", "w");
  Console con;
  con.out = con.err = con.my_stdout = null_out;
  auto owned = std::make_unique<MemoryScanFile>(file.substr(0, cut));
  MemoryScanFile& mem = *owned;
  mem.set_read_step(read_step(in.choice));
  IndexTable t;
  index_use(t, std::move(owned), "fuzz.dat");
  index_file(t, con);
  check_table(t, std::string_view(file).substr(0, cut), "first part");

  // The rest arrives; looking at the last scan brings the table up to date.
  mem.bytes().append(file, cut, std::string::npos);
  check_index(t, con, t.Indexed - 1).report(con.out);
  check_table(t, file, "after growing");

  // A fresh index of the whole file gives the same.
  index_free(t);
  index_file(t, con);
  check_table(t, file, "fresh");
  check_reader(mem, file);
  return 0;
}
