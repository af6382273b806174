#include "frontend/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "base/file_trust.h"
#include "base/safe_file.h"
#include "frontend/column_settings.h"
#include "index/index_table.h"
#include "index/scan_reader.h"

namespace {

// The file is read before any scan is indexed: labels show without columns.
void print_columns(Session& s) { fputs(columns_message(s, nullptr).c_str(), s.con.out); }

// A text of a line that began with a blank: backslash-n is a line feed and
// two backslashes are one; any other backslash stays as it is.
std::string decode_text(const std::string& v) {
  std::string out;
  out.reserve(v.size());
  for (size_t k = 0; k < v.size(); k++) {
    if (v[k] == '\\' && k + 1 < v.size() && (v[k + 1] == 'n' || v[k + 1] == '\\')) {
      out.push_back(v[k + 1] == 'n' ? '\n' : '\\');
      k++;
    } else {
      out.push_back(v[k]);
    }
  }
  return out;
}

std::string encode_text(const std::string& v) {
  std::string out;
  out.reserve(v.size() + 8);
  for (char c : v) {
    if (c == '\n')
      out += "\\n";
    else if (c == '\\')
      out += "\\\\";
    else
      out.push_back(c);
  }
  return out;
}

// Acts on one whole line (with its line feed, up to its first NUL).
void take_line(Session& s, const std::string& line) {
  Settings& st = s.settings;
  FILE* o = s.con.out;
  const char* p = line.c_str();
  while (*p == ' ') p++;
  const bool escaped = p != line.c_str();
  const char letter = *p;
  if (!letter) return;
  const char* value = p + 1;

  // The texts are the value without the line's own line feed.
  std::string text = value;
  if (!text.empty() && text.back() == '\n') text.pop_back();
  if (escaped) text = decode_text(text);

  if (const FlagSetting* f = find_flag(letter)) {
    st.*f->member = getnum(value, st.*f->member);
    fprintf(o, " %s turned %s\n", f->ini_what, onoff(st.*f->member));
    return;
  }
  switch (letter) {
    case 'f':
      index_open(s.index, value).report(s.con.out);
      break;
    case 'x':
    case 'y':
    case 'z': {
      // A number taken replaces a label chosen before it.
      const int n = getanum(value, 0);
      if (n != 0) {
        st.*column_member(letter) = n;
        (st.*column_label_member(letter)).clear();
      }
      print_columns(s);
      break;
    }
    case 'X':
    case 'Y':
    case 'Z': {
      // A column chosen by label: a line the earlier readers ignore.
      std::string label = text;
      label.erase(0, label.find_first_not_of(" \t"));
      label.erase(label.find_last_not_of(" \t\r") + 1);
      if (!label.empty()) st.*column_label_member(char(letter - 'A' + 'a')) = label;
      print_columns(s);
      break;
    }
    case 'G': {
      // The fit model: a line the earlier readers ignore.
      std::string why;
      if (parse_fit_model(text, &st.fit_model, &why)) {
        fprintf(o, " fit model set to %s\n", model_name(st.fit_model).c_str());
      } else {
        fprintf(o, " %s\n", why.c_str());
      }
      break;
    }
    case 'F':
      st.wformat = text;
      fprintf(o, " format used by the W command set to \"%s\"\n", st.wformat.c_str());
      fprintf(o, " columns being \"%s\"\n", st.wcolumns.c_str());
      break;
    case 'C':
      st.wcolumns = text;
      fprintf(o, " columns used by the W command set to \"%s\"\n", st.wcolumns.c_str());
      fprintf(o, " format being \"%s\"\n", st.wformat.c_str());
      break;
    case 'H':
      st.graceprint = text;
      fprintf(o, " parameters used by the h command set to \"%s\"\n", st.graceprint.c_str());
      break;
    default:
      break;
  }
}

// Writes a text line: the letter directly followed by the text, or, for a
// text holding a line feed, a blank, the letter and the escaped text.
bool write_text(FILE* out, char letter, const std::string& v) {
  if (v.find('\n') == std::string::npos) return fprintf(out, "%c%s\n", letter, v.c_str()) >= 0;
  return fprintf(out, " %c%s\n", letter, encode_text(v).c_str()) >= 0;
}

}  // namespace

void ini_read_stream(Session& s, FILE* in, const std::string& name) {
  const PosixScanFile file(fileno(in), false);
  ScanReader reader(&file, 0);
  std::string_view line;
  int64_t number = 0;
  while (reader.next(&line)) {
    number++;
    if (reader.line_is_cut()) {
      fprintf(s.con.out, " line %lld of %s is too long, ignored\n", static_cast<long long>(number),
              name.c_str());
      continue;
    }
    // A last line without its line feed is not taken.
    if (line.empty() || line.back() != '\n') break;
    take_line(s, std::string(line.data(), strnlen(line.data(), line.size())));
  }
}

bool ini_read(Session& s) {
  const std::string& name = s.settings.ininame;
  // Opened once, without waiting on a FIFO and without following someone
  // else's link; a directory or FIFO of that name is skipped like a
  // missing file.
  struct stat st;
  std::string why;
  bool refused = false;
  int fd = open_unfollowed(name, O_RDONLY, 0, &st, &why, &refused);
  if (fd < 0 && !refused) return true;
  FILE* in = fd < 0 ? nullptr : fdopen(fd, "r");
  if (fd >= 0 && !in) {
    close(fd);
    return true;
  }
  if (in && !S_ISREG(st.st_mode)) {
    fclose(in);
    return true;
  }
  // Its H line goes to Grace as it stands: someone who could write the
  // file could make Grace write the user's files.
  if (in) why = untrusted_reason(st, name);
  if (!why.empty()) {
    fprintf(s.con.out, " %s not read, nor written at q: %s\n", name.c_str(), why.c_str());
    if (in) fclose(in);
    return false;
  }
  fprintf(s.con.out, "Using initialization file : %s\n", name.c_str());
  ini_read_stream(s, in, name);
  fclose(in);
  return true;
}

bool ini_write_stream(const Session& s, FILE* out) {
  const Settings& st = s.settings;
  bool ok = fprintf(out, "f %s\n", s.index.inf_name.c_str()) >= 0;
  ok = fprintf(out, "x %d\ny %d\nz %d\n", st.xcol, st.ycol, st.zcol) >= 0 && ok;
  for (const FlagSetting& f : kFlagSettings)
    ok = fprintf(out, "%c %d\n", f.letter, st.*f.member) >= 0 && ok;
  ok = write_text(out, 'F', st.wformat) && ok;
  ok = write_text(out, 'C', st.wcolumns) && ok;
  ok = write_text(out, 'H', st.graceprint) && ok;
  // Labels go on lines of their own, after the fifteen, and only when set:
  // a file without them is what earlier releases write and read.
  const char* label_letters = "XYZ";
  for (const char* l = label_letters; *l; l++) {
    const std::string& label = st.*column_label_member(char(*l - 'A' + 'a'));
    if (!label.empty()) ok = fprintf(out, "%c %s\n", *l, label.c_str()) >= 0 && ok;
  }
  // So does the fit model, when it is not the default.
  if (st.fit_model != FitModel())
    ok = fprintf(out, "G %s\n", model_name(st.fit_model).c_str()) >= 0 && ok;
  return ok && !ferror(out);
}

bool ini_write(const Session& s, std::string* refused) {
  refused->clear();
  FileReplacement file;
  // Only its owner may write it, whatever the umask or the old file's
  // modes.
  if (!file.begin(s.settings.ininame, 0666,
                  FileReplacement::kKeepMode | FileReplacement::kPrivateWrite, "", ".")) {
    // A file that cannot be made is skipped silently, as it always was; one
    // that is not the user's to replace is said.
    if (file.refused()) *refused = file.error();
    return false;
  }
  FILE* out = fdopen(dup(file.fd()), "w");
  if (!out) return false;
  bool ok = ini_write_stream(s, out);
  ok = fclose(out) == 0 && ok;
  return ok && file.commit();
}
