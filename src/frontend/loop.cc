#include "frontend/loop.h"

#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstring>

#include "base/interrupt.h"
#include "base/safe_file.h"
#include "base/text.h"
#include "index/index_table.h"

namespace {

const char* skip_blanks(const char* p) {
  while (*p == ' ') p++;
  return p;
}

// Reads an int the way "%d" does; INT_MIN is left out so that a position
// can always be made 0-based. Returns the characters read, 0 when no digit
// stood there (and *value is unchanged).
size_t read_position(const char* p, int* value) {
  int v;
  const size_t n = read_int(p, &v);
  if (n > 0) *value = v > INT_MIN ? v : INT_MIN + 1;
  return n;
}

// 1-based position to the 0-based one the index functions take.
int pos0(int i) { return i > INT_MIN ? i - 1 : INT_MIN; }

int scan_at(const IndexTable& t, int i) {
  const scanRef* r = i >= 1 ? index_record(t, i - 1) : nullptr;
  return r ? r->scan : 0;
}

// Holds the redirect file and puts con.my_stdout back when the loop ends,
// however it ends.
class Redirect {
 public:
  Redirect(Console& con) : con_(con), saved_(con.my_stdout) {}
  Redirect(const Redirect&) = delete;
  Redirect& operator=(const Redirect&) = delete;
  ~Redirect() { close(); }

  // False with *why set when it cannot be opened; the scan file itself is
  // never opened, which would empty it.
  bool open(const IndexTable& t, const std::string& name, std::string* why) {
    f_ = open_output(name, scan_file_test(t), why);
    if (!f_) return false;
    name_ = name;
    con_.my_stdout = f_;
    return true;
  }

  // False when the listings could not all be written (a line said so).
  bool close() {
    if (!f_) return true;
    con_.my_stdout = saved_;
    bool failed = ferror(f_) != 0;
    int err = errno;
    if (fclose(f_) != 0) {
      failed = true;
      err = errno;
    }
    f_ = nullptr;
    if (failed)
      fprintf(con_.out, " unable to write loop listings on '%s': %s\n", name_.c_str(),
              strerror(err ? err : EIO));
    return !failed;
  }

 private:
  Console& con_;
  FILE* saved_;
  FILE* f_ = nullptr;
  std::string name_;
};

}  // namespace

LoopSpec parse_loop(const char* name) {
  LoopSpec parsed;
  const char* p = skip_blanks(name);
  size_t n;
  switch (*p) {
    case 'i':
      parsed.start = LoopStart::kIndex;
      parsed.index_mode = true;
      p++;
      break;
    case 's':
      parsed.start = LoopStart::kScan;
      p++;
      break;
    case ',':
      parsed.start = LoopStart::kCurrent;
      break;
    default:
      if (!is_digit(*p)) return parsed;
      parsed.start = LoopStart::kScan;
      break;
  }
  if (parsed.start != LoopStart::kCurrent && (n = read_position(p, &parsed.start_number)) > 0) {
    parsed.has_start = true;
    p += n;
  }

  // The end: a comma right at the cursor, then a number.
  if (*p == ',' && (n = read_position(p + 1, &parsed.i_end)) > 0) {
    parsed.has_end = true;
    p += 1 + n;
  }

  p = skip_blanks(p);
  if (*p == ',') p++;
  p = skip_blanks(p);

  parsed.e = *p;
  if (*p) p++;
  parsed.after_letter = p;

  if (*p == ')') {
    const char* w = p + 1;
    while (is_space(*w)) w++;
    const char* end = w;
    while (*end && !is_space(*end)) end++;
    parsed.redirect.assign(w, end);
  }
  return parsed;
}

bool loop_stops(bool index_mode, int i, int s, int i_end) {
  return index_mode ? i >= i_end : s == i_end;
}

int loop(IndexTable& t, Console& con, int ref, const char* name, const LoopLookup& lookup,
         bool* failed) {
  bool failed_here = false;
  if (!failed) failed = &failed_here;
  *failed = false;
  // The scan operations may overwrite the buffer the text lies in.
  const std::string text = name;
  const LoopSpec parsed = parse_loop(text.c_str());

  int i = ref;
  switch (parsed.start) {
    case LoopStart::kInvalid:
      fprintf(con.err, " Unable to interpret loop '%s' not starting with scan or index!\n",
              text.c_str());
      *failed = true;
      return 0;
    case LoopStart::kScan:
      if (parsed.has_start) {
        int found;
        if (!get_index(t, con, pos0(ref), parsed.start_number, &found).report(con.out))
          *failed = true;
        i = found + 1;
      }
      break;
    case LoopStart::kIndex:
      if (parsed.has_start) i = parsed.start_number;
      if (!check_index(t, con, pos0(i)).report(con.out)) {
        i = t.Indexed;
        *failed = true;
      }
      break;
    case LoopStart::kCurrent:
      break;
  }
  int sn = scan_at(t, i);
  // Without an end the loop runs its start position alone.
  int i_end = parsed.has_end ? parsed.i_end : (parsed.index_mode ? i : sn);

  LoopAction action = lookup(parsed.e);
  Redirect redirect(con);
  if (!parsed.redirect.empty() && !action.own_redirect) {
    fprintf(con.out, " Redirecting stdout to %s\n", parsed.redirect.c_str());
    std::string why;
    if (!redirect.open(t, parsed.redirect, &why)) {
      fprintf(con.out, " unable to write loop listings on '%s': %s; loop abandoned\n",
              parsed.redirect.c_str(), why.c_str());
      *failed = true;
      return ref;
    }
  }

  fprintf(con.out, " loop '(%s' from (i=%d, s=%d) to '%s' %d command=", text.c_str(), i, sn,
          parsed.index_mode ? "index" : "scan", i_end);
  // A loop text that ends before its letter has none to show.
  if (parsed.e) fputc(parsed.e, con.out);
  fputc('\n', con.out);

  // check_index may reindex a grown file, so the scan number is taken only
  // once the position has been accepted.
  if (action.begin && !action.begin(parsed.redirect)) {
    *failed = true;
    return ref;
  }
  bool ran = false;
  while (check_index(t, con, pos0(i)).report(con.out)) {
    ran = true;
    sn = t.Index[i - 1].scan;
    if (action.run) {
      if (!action.run(i - 1)) *failed = true;
    } else {
      fprintf(con.err, " Unable to interpret loop '%s' invalid command '%s'!\n", text.c_str(),
              parsed.after_letter.c_str());
      *failed = true;
    }
    if (interrupted()) {
      fprintf(con.out, " loop stopped by Ctrl-C after (i=%d, s=%d)\n", i, sn);
      *failed = true;
      break;
    }
    if (loop_stops(parsed.index_mode, i, sn, i_end) || i == INT_MAX) break;
    i++;
  }
  if (!ran) *failed = true;
  if (action.end && !action.end()) *failed = true;
  if (!redirect.close()) *failed = true;
  return i > t.Indexed ? t.Indexed : i;
}
