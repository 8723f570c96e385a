// The ini-file reader: files of "[section]" header lines and "key=value"
// lines, found along the directories of LD_LIBRARY_PATH. It reads with the
// C library's own file calls, not through the I/O layer (the layer's mixed
// subsystem uses it to resolve superfile names while it opens files).
//
// A section runs from its header line to the first empty line or the next
// header line, whichever comes first, so a key is never found in the
// following section. A line's end ("\n", "\r\n", or the end of the file) is
// not part of its text. Lines are read whole, whatever their length.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "io/mixed_internal.h"
#include "io/vqio.h"

namespace {

// The next line of f without its line end; false at the end of the file.
bool next_line(FILE* f, std::string& line) {
  line.clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(f)) != EOF) {
    any = true;
    if (c == '\n') break;
    line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return any;
}

bool ends_section(const std::string& line) { return line.empty() || line[0] == '['; }

// The first existing "directory/name" along the colon-separated list in
// the variable (empty components skipped): 0 and found, or -1 when the
// variable is unset or empty, when none exists, or when a candidate would
// not fit in room bytes with its NUL (room 0: no limit; the search stops).
int find_along(const char* name, const char* variable, size_t room, std::string& found) {
  const char* dirs = variable ? std::getenv(variable) : nullptr;
  if (!name || !dirs || !*dirs) return -1;
  const char* p = dirs;
  for (;;) {
    const char* colon = std::strchr(p, ':');
    const size_t len = colon ? static_cast<size_t>(colon - p) : std::strlen(p);
    if (len > 0) {
      std::string candidate(p, len);
      candidate += '/';
      candidate += name;
      if (room && candidate.size() + 1 > room) return -1;
      if (::access(candidate.c_str(), F_OK) == 0) {
        found = candidate;
        return 0;
      }
    }
    if (!colon) return -1;
    p = colon + 1;
  }
}

// The file to open: name found along LD_LIBRARY_PATH, else name itself (so
// a file in the current directory is still found).
std::string ini_path(const char* file) {
  std::string found;
  if (find_along(file, "LD_LIBRARY_PATH", 0, found) == 0) return found;
  return file;
}

// Opens the ini file and reads up to and including the header line of
// section; null (file closed) when the file or the section is missing.
FILE* open_at_section(const char* section, const char* file) {
  if (!section || !file) return nullptr;
  FILE* f = std::fopen(ini_path(file).c_str(), "r");
  if (!f) return nullptr;
  const std::string header = std::string("[") + section + "]";
  std::string line;
  while (next_line(f, line))
    if (line == header) return f;
  std::fclose(f);
  return nullptr;
}

void copy_bounded(const char* text, char* out, int size) {
  if (!out || size <= 0) return;
  const size_t n = text ? std::strlen(text) : 0;
  const size_t k = n < static_cast<size_t>(size - 1) ? n : static_cast<size_t>(size - 1);
  if (k) std::memcpy(out, text, k);
  out[k] = '\0';
}

}  // namespace

int profile_find_file(char* name, int size, const char* variable) {
  if (!name || size <= 0) return -1;
  std::string found;
  if (find_along(name, variable, static_cast<size_t>(size), found) != 0) return -1;
  std::memcpy(name, found.c_str(), found.size() + 1);
  return 0;
}

int profile_get_value(const char* section, const char* key, const char* file, std::string& value) {
  FILE* f = open_at_section(section, file);
  if (!f || !key) {
    if (f) std::fclose(f);
    return -1;
  }
  const std::string prefix = std::string(key) + "=";
  std::string line;
  int result = -1;
  while (next_line(f, line) && !ends_section(line)) {
    if (line.compare(0, prefix.size(), prefix) == 0) {
      value = line.substr(prefix.size());
      result = 0;
      break;
    }
  }
  std::fclose(f);
  return result;
}

int vq_profile_get_string(const char* section, const char* key, const char* default_value,
                          char* out, int size, const char* file) {
  if (key) {
    std::string value;
    if (profile_get_value(section, key, file, value) == 0 && size > 0 &&
        value.size() <= static_cast<size_t>(size - 1)) {
      std::memcpy(out, value.c_str(), value.size() + 1);
      return static_cast<int>(value.size());
    }
    copy_bounded(default_value, out, size);
    return -1;
  }

  // Without a key: the section's key names, each with its NUL, back to back.
  FILE* f = open_at_section(section, file);
  if (!f) {
    copy_bounded(default_value, out, size);
    return -1;
  }
  size_t stored = 0;
  const size_t room = size > 0 ? static_cast<size_t>(size) : 0;
  std::string line;
  while (next_line(f, line) && !ends_section(line)) {
    const size_t n = std::min(line.find('='), line.size());
    if (stored + n + 1 > room) break;
    std::memcpy(out + stored, line.data(), n);
    out[stored + n] = '\0';
    stored += n + 1;
  }
  std::fclose(f);
  return static_cast<int>(stored);
}
