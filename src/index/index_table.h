// The scan file and its index table: one record per scan, built from one
// sequential pass over the file. No scan data is kept in memory; readers read
// the open file `inf` at the offsets stored in a record.
#ifndef KURVATAB_INDEX_INDEX_TABLE_H_
#define KURVATAB_INDEX_INDEX_TABLE_H_

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/console.h"
#include "base/status.h"
#include "format/scan_file.h"

// One scan of the file. Offsets are byte offsets from the start of the file.
struct scanRef {
  int scan = 0;    // number from the #S line
  int ncol = 0;    // from #N; 0 when none; the column reader may store a count
  int ncol_N = 0;  // the count from #N alone, which a reindex restores
  // The scan's #L line (its column labels), as its distance from hseek: 0
  // when the header has none, kLabelsFar when it lies too far behind the #S
  // line to be kept here (see index/labels.h). Held in what would otherwise
  // be padding, so the record stays 72 bytes; a saved copy of the table must
  // keep it too.
  uint32_t lhead = 0;
  int64_t hseek = 0;          // the #S line
  int64_t vseek = 0;          // first data line, 0 when the scan has none
  int64_t cseek = 0;          // where the scan's comment listing starts
  int64_t eseek = 0;          // end of the scan: next #S line, or file length
  int64_t lpos = 0;           // 1-based line number of the #S line
  int64_t lines = 0;          // data lines counted
  const char* txt = nullptr;  // description text ending in '\n'; owned by the table
};

constexpr uint32_t kLabelsFar = UINT32_MAX;

enum IndexState { waithead = 0, waitdata = 1, waitend = 2 };

// The records, in file order, in chunks that never move: a reference to a
// record stays valid while records are added behind it, as in a deque, but
// a record costs only its own bytes (a deque's 512-byte nodes and its map
// add about 3 bytes a record, half a MiB for 150,000 scans).
class RecordList {
 public:
  scanRef& operator[](size_t i) { return chunks_[i / kChunk][i % kChunk]; }
  const scanRef& operator[](size_t i) const { return chunks_[i / kChunk][i % kChunk]; }
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  scanRef& back() { return (*this)[size_ - 1]; }
  const scanRef& back() const { return (*this)[size_ - 1]; }
  // Appends a default record and returns it. Throws std::bad_alloc.
  scanRef& emplace_back() {
    if (size_ == chunks_.size() * kChunk) chunks_.emplace_back(new scanRef[kChunk]);
    scanRef& r = (*this)[size_++];
    r = scanRef();
    return r;
  }
  void pop_back() { size_--; }
  void clear() {
    chunks_.clear();
    size_ = 0;
  }

  template <typename List, typename Ref>
  class Iter {
   public:
    Iter(List* list, size_t i) : list_(list), i_(i) {}
    Ref operator*() const { return (*list_)[i_]; }
    Iter& operator++() {
      i_++;
      return *this;
    }
    bool operator!=(const Iter& o) const { return i_ != o.i_; }

   private:
    List* list_;
    size_t i_;
  };
  Iter<RecordList, scanRef&> begin() { return {this, 0}; }
  Iter<RecordList, scanRef&> end() { return {this, size_}; }
  Iter<const RecordList, const scanRef&> begin() const { return {this, 0}; }
  Iter<const RecordList, const scanRef&> end() const { return {this, size_}; }

 private:
  static constexpr size_t kChunk = 64;  // 4.5 KiB: a small file costs little
  std::vector<std::unique_ptr<scanRef[]>> chunks_;
  size_t size_ = 0;
};

// Storage for the records' description texts. Texts never move once stored,
// so a record can point at its text; everything is released at once.
class TextStore {
 public:
  // Copies n bytes, a line feed when `line_feed`, and a NUL.
  const char* add(const char* s, size_t n, bool line_feed = false);
  void drop_last();  // forgets the text added last
  void clear();
  size_t bytes() const { return used_total_; }

 private:
  std::vector<std::unique_ptr<char[]>> chunks_;
  size_t chunk_used_ = 0;
  size_t chunk_size_ = 0;
  size_t used_total_ = 0;
  size_t last_size_ = 0;
};

// The description text kept per scan is at most this long (the #S line in the
// file is never shortened; only the copy in the table is).
constexpr size_t kMaxScanText = 4096;

struct IndexTable {
  IndexTable() = default;
  IndexTable(const IndexTable&) = delete;
  IndexTable& operator=(const IndexTable&) = delete;
  ~IndexTable() = default;

  RecordList Index;                  // the records, in file order
  int Indexed = 0;                   // records in use
  int IndexSize = 0;                 // the designed table size: 512 until more scans are added
  int64_t IndexFileLength = 0;       // file length when last indexed
  std::unique_ptr<ScanFile> inf;     // the open scan file
  std::string inf_name = "NO FILE";  // as the user gave it ("~" not expanded)
  // The open file's path made absolute when it was opened, so that a later
  // change of the working folder does not lose it; empty when none is open.
  std::string inf_path;
  TextStore texts;  // owns every record's txt

  // Column count of the scan whose data was read last (the column reader's
  // running value; negative column numbers count from it).
  int ncol = 0;

  // What a reindex checks to tell a file that only grew from one that was
  // changed: the start of the last scan's #S line and the last bytes covered.
  std::string last_head;
  std::string tail;
  int64_t bytes_read = 0;  // bytes of the scan file the indexer has read

  // The file's modification and change times (ns) when the table was last
  // brought up to date: a file of the same length with other times was
  // rewritten in place. said_changed_ns: the change time last reported by
  // index_changed_since (so that a change is said once).
  int64_t file_mtime_ns = -1;
  int64_t file_ctime_ns = -1;
  int64_t said_changed_ns = -1;

  // The first read error of the last pass, with the offset it hit.
  int read_error = 0;
  int64_t read_error_at = 0;
  // Where Ctrl-C stopped the last full pass (its table was dropped); -1
  // when it ran to the end.
  int64_t stopped_at = -1;

  // The index cache (index_cache.h): the file's real path when it was opened
  // (its key; empty when unknown), and the file length and size of the entry
  // last written or read for it (-1 when none).
  std::string real_path;
  int64_t cached_length = -1;
  int64_t cached_bytes = 0;

  // Called by the indexer, when set: once as a pass over the file begins,
  // after each block read, and once when the pass ends (`finished`), with
  // the file offset reached and the file's length when the pass began.
  std::function<void(int64_t done, int64_t total, bool finished)> progress;

  // Appends a record for a #S line; returns it. Throws std::bad_alloc.
  scanRef& add_record();
};

// Opens a scan file by name (leading blanks skipped, "~" expanded from HOME,
// the name cut at its first newline). On failure enters the no-file state
// and returns why (" file %s not found\n", or that it can't be read).
Status index_open(IndexTable& t, const char* name);

// Makes `file` the open scan file under the name `name`, as index_open does
// for a file on disk (tests and fuzz targets hand in a MemoryScanFile).
void index_use(IndexTable& t, std::unique_ptr<ScanFile> file, const std::string& name);

// The record at 0-based position `ref`, or null when no file is open or the
// position names no record.
scanRef* index_record(IndexTable& t, int ref);
const scanRef* index_record(const IndexTable& t, int ref);

// A test of a file's stat: true when it is the open scan file itself
// (writing to it would empty the file being read). `t` must outlive it.
std::function<bool(const struct stat&)> scan_file_test(const IndexTable& t);

// Changes the working directory ("~" expanded) and prints it. Returns 0,
// or -1 when it could not be entered (the one printed is then unchanged).
int index_dir(Console& con, const char* name);

// Builds the table from the open file in one pass and prints the closing
// message. Returns Indexed. With no open file: the no-file state, 0 entries.
// A large file whose table the index cache holds is not read again: only
// what it gained since is read. The table and the message are the same.
// Ctrl-C (base/interrupt.h) stops a full pass: nothing of it is kept (no
// records, nothing covered, nothing cached), which is said with where it
// stopped; the next look at a scan, or r, reads the file again.
int index_file(IndexTable& t, Console& con);

// index_file without the cache: always one full pass (the entry is then
// written again).
int index_rebuild(IndexTable& t, Console& con);

// Empties the table as a pass begins: no records, room for 512.
void index_reset(IndexTable& t);

// True when the file still holds the bytes a reindex checks (the end of what
// the table covers and the start of the last scan's #S line).
bool index_covered_unchanged(IndexTable& t);

// True when the #S line of every record still stands at its offset and
// gives the record's scan number and (the start of) its text: a file that
// grew and holds these was only appended to.
bool index_heads_unchanged(IndexTable& t);

// A file changed since the table was built in a way the table does not
// follow by itself: shorter than the table covers, or rewritten in place at
// the same length. Returns "" when not, or when that change was said
// before; otherwise how it changed ("is shorter than when it was indexed",
// "was rewritten since it was indexed"), to be said once.
std::string index_changed_since(IndexTable& t);

// Notes the open file's times as those of the table (index_changed_since).
void index_note_times(IndexTable& t);

// Reads the last scan again and what follows it to the end of the file, as
// a reindex of a file that only grew does. Needs a record.
void index_continue(IndexTable& t);

// Releases every record and text.
void index_free(IndexTable& t);

// Builds the table from the open file in one pass, silently (index_file
// without its closing message).
void index_build(IndexTable& t);

// What a silent refresh of the table did.
struct IndexChange {
  enum Kind {
    kNone,     // the file's length is what the table covers: nothing done
    kGrown,    // the file only grew: the last scan and what follows were read
    kRebuilt,  // the file changed otherwise: the table was built anew
  };
  Kind kind = kNone;
  int added = 0;            // kGrown: records added after the last one
  bool last_grown = false;  // kGrown: the last record's data lines changed
};

// index_update without its messages; the caller says what changed.
IndexChange index_refresh(IndexTable& t);

// Brings the table up to date after the file's length changed. When the file
// only grew (the bytes the table covers are unchanged), only the last scan
// and what follows it are read again; otherwise the table is rebuilt in full.
// The result and the messages are those of index_free + index_file; a
// rebuild in full stops at Ctrl-C as index_file does.
int index_update(IndexTable& t, Console& con);

// Prints the table on con.out from the 0-based position `first` on. Stops
// early at Ctrl-C or when a write fails (a pager that was quit); returns
// the position after the last row written (Indexed when it ran to the end).
int index_print(const IndexTable& t, Console& con, int first = 0);

// Present length of the open file, -1 when none is open.
int64_t index_current_length(IndexTable& t);

// Succeeds when 0-based position i names a record, after reindexing a grown
// file when i is at or past the last record (its lines go to con.out);
// else fails with " %d is not a valid index\n".
Status check_index(IndexTable& t, Console& con, int i);

// Position of the scan numbered s into *found, searched after i0, then from
// the start up to i0; reindexes a changed file when not found (its lines go
// to con.out). Not found: *found is i0, and Status::not_found says so; -1
// and no message when the table is empty.
Status get_index(IndexTable& t, Console& con, int i0, int s, int* found);

#endif  // KURVATAB_INDEX_INDEX_TABLE_H_
