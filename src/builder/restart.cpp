// The build log read back for a restart (-r), and the removal of the work
// files at the end of a build.
//
// BuildLog <output base>.log, first "Control %u" (the fingerprint of the
// build's rules), then one line per finished step, each written after the
// file it names was closed:
//   "Initial " or "Last ", then "%d from %d('%c') to %d('%c') %d nodes"
//       (pass, start, first character, end, last character, point count),
//       with -p followed by ", %d in IPFile" (the points-file offset);
//   "Merge %d"   the skip file of the pass is complete;
//   "Final %d"   the final piece of the pass is complete.
//
// A restart checks every number of the log before it uses it (pass numbers
// 1 to 499, counts that a pass of this budget can hold, passes that follow
// each other) and every work file the log names against it; anything that
// does not balance is refused with 100012 and nothing is changed.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "builder/phases_internal.h"
#include "msg/msg.h"

using namespace phases;

namespace {

constexpr int kMaxPasses = 499;

enum FileStatus : int { NOT_NAMED = 0, CONSISTENT = 1, MISSING = 2, WRONG_SIZE = 3, WRONG_HEADER = 4 };

struct PassRecord {
  bool seen = false;
  int32_t start = 0, end = 0, count = 0;
  int first = 0, last = 0;
  long points_offset = 0;
  int pass_file = NOT_NAMED, skip_file = NOT_NAMED, final_piece = NOT_NAMED;
};

// Status of a work file: its size must be `size` (or at least `size` when
// at_least), and its first words must be `words`.
int check_file(const std::string& name, int64_t size, bool at_least, const std::vector<int32_t>& words) {
  struct stat sb{};
  if (vqio_stat(name.c_str(), &sb) != 0 || !S_ISREG(sb.st_mode)) return MISSING;
  if (at_least ? sb.st_size < size : sb.st_size != size) return WRONG_SIZE;
  if (words.empty()) return CONSISTENT;
  const int fd = vqio_open(name.c_str(), O_RDONLY);
  if (fd < 0) return MISSING;
  std::vector<int32_t> got(words.size());
  const bool ok = read_at(fd, 0, got.data(), got.size() * 4);
  vqio_close(fd);
  return ok && got == words ? CONSISTENT : WRONG_HEADER;
}

std::string read_log(const std::string& name) {
  VqStream* s = vqio_fopen(name.c_str(), "r");
  if (s == nullptr) vq_report(16, GetMsgNumText(100002), name.c_str());
  std::string text;
  char chunk[4096];
  size_t n;
  while ((n = vqio_fread(chunk, 1, sizeof chunk, s)) > 0) text.append(chunk, n);
  vqio_fclose(s);
  return text;
}

// FNV-1a over bytes.
void mix(uint32_t* h, const void* data, size_t n) {
  const auto* b = static_cast<const unsigned char*>(data);
  for (size_t i = 0; i < n; ++i) *h = (*h ^ b[i]) * 16777619u;
}

bool pass_number_ok(int n, const std::string& log) {
  if (n > kMaxPasses) {
    vq_report(15, "Log file %s records pass %d: a build is restarted with at most %d passes.",
              log.c_str(), n, kMaxPasses);
  }
  return n >= 1;
}

}  // namespace

uint32_t phases::rules_fingerprint() {
  const BuildState& st = build_state();
  const BuildControl* c = st.control;
  uint32_t h = 2166136261u;
  mix(&h, c->map.data(), c->map.size());
  mix(&h, c->classes.data(), sizeof c->classes);
  mix(&h, &c->class_count, sizeof c->class_count);
  mix(&h, c->pair_table.data(), c->pair_table.size());
  for (const std::string& w : c->stop_words) mix(&h, w.c_str(), w.size() + 1);
  const char rule = st.points_stream != nullptr ? 'p' : 'c';
  mix(&h, &rule, 1);
  const std::optional<std::string>& region = st.options->region_name;
  if (region) mix(&h, region->c_str(), region->size() + 1);
  return h;
}

void RestartFromLog(RestartState* out) {
  BuildState& st = build_state();
  const BuildOptions* o = st.options;
  const std::string& log = o->log_file;
  const std::string text = read_log(log);
  st.total_points = 0;
  std::vector<PassRecord> table(kMaxPasses + 1);
  RestartState r;
  int last_line = 0;  // pass number of the last pass line read
  const char* merge_word = GetMsgText(100014);
  const char* final_word = GetMsgText(100009);

  const char* p = text.c_str();
  for (;;) {
    while (*p == ' ' || *p == '\t' || *p == '\n' || *p == '\r' || *p == '\f' || *p == '\v') ++p;
    if (*p == '\0') break;
    const char* w = p;
    while (*p != '\0' && !std::strchr(" \t\n\r\f\v", *p)) ++p;
    const std::string word(w, p);
    if (word == "Control") {
      unsigned fingerprint = 0;
      int used = 0;
      if (std::sscanf(p, " %u%n", &fingerprint, &used) != 1 || used == 0) work_files_damaged();
      p += used;
      if (fingerprint != rules_fingerprint()) {
        vq_report(15, "Log file %s was written by a build under other index rules (character "
                      "map, index points, stop words, points file or region set); it cannot be "
                      "resumed under these.", log.c_str());
      }
    } else if (word == "Initial" || word == "Last") {
      int n = 0, start = 0, end = 0, count = 0, used = 0;
      char first = 0, last = 0;
      if (std::sscanf(p, " %d from %d('%c') to %d('%c') %d nodes%n", &n, &start, &first, &end,
                      &last, &count, &used) != 6 || used == 0) {
        work_files_damaged();
      }
      p += used;
      if (!pass_number_ok(n, log) || table[static_cast<size_t>(n)].seen || count < 0 ||
          count > st.point_slots || start < 1 || end < start) {
        work_files_damaged();
      }
      long points_offset = 0;
      int more = 0;
      if (std::sscanf(p, ", %ld in IPFile%n", &points_offset, &more) == 1 && more > 0) p += more;
      PassRecord& rec = table[static_cast<size_t>(n)];
      rec.seen = true;
      rec.start = start;
      rec.end = end;
      rec.count = count;
      rec.first = static_cast<unsigned char>(first);
      rec.last = static_cast<unsigned char>(last);
      rec.points_offset = points_offset;
      rec.pass_file = check_file(work_name(o->int_name, "i", n), PASS_HEADER_BYTES + 4 * int64_t{count},
                                 false, {start, end, rec.first, count});
      st.pass_start = start;
      st.pass_end = end;
      st.first_char = static_cast<unsigned char>(first);
      st.last_char = static_cast<unsigned char>(last);
      st.total_points += count;
      r.phase = 1;
      r.last_point_count = count;
      r.last_pass = word == "Last" ? 1 : 0;
      if (n > r.passes) r.passes = n;
      last_line = n;
      if (o->verbose) {
        vq_report(1, "  %s %d from %d('%c') to %d('%c') %d nodes\n", word.c_str(), n, start, first,
                  end, last, count);
      }
    } else if (word == merge_word || word == final_word) {
      const bool merge = word == merge_word;
      int n = 0, used = 0;
      if (std::sscanf(p, " %d%n", &n, &used) != 1 || used == 0) work_files_damaged();
      p += used;
      if (!pass_number_ok(n, log)) work_files_damaged();
      PassRecord& rec = table[static_cast<size_t>(n)];
      if (!rec.seen) work_files_damaged();
      if (merge) {
        r.phase = r.last_pass ? 2 : 0;
        rec.skip_file = check_file(work_name(o->merge_name, "m", n), rec.count, true, {});
      } else {
        r.phase = 2;
        r.finals_done = n;
        rec.final_piece = check_file(work_name(o->int_name, "t", n), FINAL_HEADER_BYTES + 4 * int64_t{rec.count},
                                     false, {rec.start, rec.end, rec.first, rec.count});
      }
      if (n > r.passes) r.passes = n;
      if (o->verbose) vq_report(1, "  %s %d\n", merge ? GetMsgText(100014) : GetMsgText(100009), n);
    }
  }

  // The log balances with the work files.
  bool balanced = true;
  for (int n = 1; n <= r.passes; ++n) {
    const PassRecord& rec = table[static_cast<size_t>(n)];
    if (!rec.seen) balanced = false;
    else if (n > r.finals_done && rec.pass_file != CONSISTENT) balanced = false;
    else if (rec.skip_file != CONSISTENT && !(n == r.passes && r.phase == 1)) balanced = false;
    else if (n <= r.finals_done && rec.final_piece != CONSISTENT) balanced = false;
    // Each pass starts after the previous one's end, with its last character.
    if (balanced && n > 1) {
      const PassRecord& before = table[static_cast<size_t>(n - 1)];
      if (rec.start != before.end + 1 || rec.first != before.last) balanced = false;
    }
  }
  if (r.passes > 0 && last_line != r.passes) balanced = false;
  if (!balanced) work_files_damaged();

  // With -p the next pass (or the rebuild of the last) reads the points
  // file from the last pass's offset; words before a pass's start are
  // skipped, so nothing is lost.
  if (st.points_stream != nullptr) {
    const long offset = r.passes > 0 ? table[static_cast<size_t>(r.passes)].points_offset : 0;
    vqio_fseek(st.points_stream, offset + 4, SEEK_SET);
  }
  *out = r;
}

void RemoveTempFiles() {
  const BuildOptions* o = build_state().options;
  // Each kind up to the first number missing, and at least up to the
  // largest pass number a restart can hold: a build made over the work
  // files of an abandoned one (of more passes, or stopped after some of
  // its pass files were gone) removes those too.
  const auto remove = [](const std::string& base, const char* kind, int first) {
    for (int n = first;
         vqio_unlink(work_name(base, kind, n).c_str()) == 0 || n <= kMaxPasses; ++n) {
    }
  };
  remove(o->merge_name, "m", 1);
  remove(o->int_name, "i", 0);
  remove(o->int_name, "t", 1);
  phases::remove_pass_texts();
  vqio_unlink(o->log_file.c_str());
}
