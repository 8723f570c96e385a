// A pass in parts, and its replay in parts.
//
// A pass of a plain text is scanned in parts on the threads: the text it
// will cover is cut at blanks that follow a character of a word, where the
// scanner's state is known whatever came before (after a stored blank, no
// stop-word check under way), and each part is scanned from there into a
// place of its own, counting its buffer offsets and points from zero. The
// parts are then put together in order. A part is kept only while the pass
// surely has room for all of it (its characters and points counted at
// most as many as its text could give); from the first part that might
// not, the rest of the pass is scanned on one thread as it always is, from
// that part's start. So the buffer, the points and the pass's end come out
// as the scan of the whole pass on one thread gives them.
//
// The pass records where its scan can be taken up again (after a stored
// blank), and the rebuild of its buffer for skip counting and its
// conversion to text positions then run from those places on several
// threads. Every part must come to the next part's place as the pass did,
// so the replay gives what the whole replay gives; when one does not (the
// text changed), the caller replays the pass whole, which reports it.
#include <sys/mman.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

#include "builder/phases_internal.h"

namespace phases {

namespace {

struct Recorded {
  int64_t start = 0;
  unsigned char first_char = 0;
  std::vector<ScanCheckpoint> list;
};

// The checkpoints of the passes of this run, by pass number - 1.
std::vector<Recorded>& recorded() {
  static std::vector<Recorded> passes;
  return passes;
}

const std::vector<ScanCheckpoint>* find_checkpoints(int64_t start, unsigned char first_char) {
  for (const Recorded& r : recorded())
    if (r.start == start && r.first_char == first_char && !r.list.empty()) return &r.list;
  return nullptr;
}

// Whether parts may read the text on threads: one plain file, read through
// descriptors of the system's own (a fragmented text, a multi-file set and
// the "mixed" subsystem keep state of their own), which opens (a failure is
// reported here, not from a thread).
bool text_for_parts(int64_t start) {
  const BuildState& st = build_state();
  const FileInfo& text = st.control->texts[0];
  if (text.multi_file || text.fragmented || !files_on_threads())
    return false;
  TextReader probe;
  text_open(&probe, start, 1);
  text_close(&probe);
  return true;
}

}  // namespace

std::vector<ScanCheckpoint>* record_checkpoints(int pass, int64_t start, unsigned char first_char) {
  std::vector<Recorded>& passes = recorded();
  if (pass < 1) return nullptr;
  if (passes.size() < static_cast<size_t>(pass)) passes.resize(static_cast<size_t>(pass));
  passes[static_cast<size_t>(pass) - 1] = Recorded{start, first_char, {}};
  return &passes[static_cast<size_t>(pass) - 1].list;
}

namespace {

constexpr int64_t kPartLeast = 64 * 1024;  // text positions per part at least

// Where the scan of a pass may be cut after `from`: the first blank at or
// after `want` (and before `limit`) that follows a character of a word,
// or 0 when the stretch read holds none.
int64_t cut_after(int64_t want, int64_t from, int64_t limit, const unsigned char* map) {
  want = std::max(want, from + 2);
  if (want >= limit) return 0;
  TextReader r;
  text_open(&r, want - 1, 64 * 1024);
  const int64_t got = static_cast<int64_t>(text_read(&r));
  int64_t cut = 0;
  for (int64_t i = 1; i < got && want - 1 + i < limit; ++i) {
    const unsigned char before = map[r.block[static_cast<size_t>(i) - 1]];
    if (map[r.block[static_cast<size_t>(i)]] == ' ' && before != 0 && before != ' ') {
      cut = want - 1 + i;
      break;
    }
  }
  text_close(&r);
  return cut;
}

// Gives the whole pages of [from, to) back to the system (they read as
// zeros when touched again).
void release_pages(unsigned char* from, unsigned char* to) {
  const uintptr_t page = 4096;
  const uintptr_t a = (reinterpret_cast<uintptr_t>(from) + page - 1) & ~(page - 1);
  const uintptr_t b = reinterpret_cast<uintptr_t>(to) & ~(page - 1);
  if (b > a) madvise(reinterpret_cast<void*>(a), b - a, MADV_DONTNEED);
}

}  // namespace

bool scan_pass_in_parts(ScanJob* job) {
  const BuildState& st = build_state();
  const int threads = sort_threads();
  const int64_t start = job->start, B = job->buffer_size, slots = job->point_slots;
  if (threads < 2 || job->use_points_file || job->use_regions || job->resume != nullptr) return false;
  // The text the parts cover: as much as the buffer could hold, with room
  // for each part's own blank and end and the padding after the text.
  const int64_t most_parts = 2 * int64_t{threads};
  const int64_t reach = std::min(st.text_size, start - 1 + B - 4096 - 4 * most_parts);
  const int64_t parts_wanted = std::min(most_parts, (reach - start + 1) / kPartLeast);
  if (parts_wanted < 2 || !text_for_parts(start)) return false;
  const unsigned char* map = st.control->map.data();
  // Part k covers the positions after cut[k] up to cut[k + 1]; the last
  // ends at the text's end (with the padding) or at a cut of its own.
  std::vector<int64_t> cut{start - 1};
  const int64_t span = reach - start + 1;
  for (int64_t k = 1; k < parts_wanted; ++k) {
    const int64_t at = cut_after(start - 1 + span * k / parts_wanted, cut.back(), reach, map);
    if (at > 0) cut.push_back(at);
  }
  bool to_end = reach == st.text_size;
  if (!to_end) {
    const int64_t at = cut_after(reach - kPartLeast / 2, cut.back(), reach, map);
    if (at > 0) cut.push_back(at);
    else if (cut.size() < 2) return false;
  }
  const int64_t parts = static_cast<int64_t>(cut.size()) - (to_end ? 0 : 1);
  if (parts < 2) return false;
  const auto part_end = [&](int64_t k) { return k + 1 < static_cast<int64_t>(cut.size()) ? cut[k + 1] : st.text_size; };

  // Places: part k stores after a blank of its own at window[k] (two bytes
  // more per part than its text, for its blank and its NUL). The first
  // part's points go to the point array, each other's to an array of its
  // own with room for one per two of its positions (a part that would need
  // more is not kept). Only the pages a part writes are touched, and each
  // array is given back once its points are in place, so the parts add
  // nothing to what the pass's sort touches after them.
  std::vector<int64_t> window(static_cast<size_t>(parts)), room_for(static_cast<size_t>(parts));
  std::vector<std::unique_ptr<int32_t[]>> own(static_cast<size_t>(parts));
  for (int64_t k = 0; k < parts; ++k) {
    window[k] = k == 0 ? 0 : cut[k] - start + 1 + 2 * k;
    room_for[k] = std::min(slots, (part_end(k) - cut[k]) / 2 + 2);
    if (k > 0) own[k].reset(new int32_t[static_cast<size_t>(room_for[k])]);
  }
  std::vector<ScanCheckpoint> starts(static_cast<size_t>(parts));
  std::vector<std::vector<ScanCheckpoint>> marks(static_cast<size_t>(parts));
  std::vector<ScanJob> jobs(static_cast<size_t>(parts));
  std::atomic<int64_t> next{0};
  split_work(threads, 1, [&](int, int64_t, int64_t) {
    for (int64_t k; (k = next.fetch_add(1)) < parts;) {
      ScanJob& part = jobs[static_cast<size_t>(k)];
      part = pass_job(start, job->first_char, job->previous_end);
      // Room and end are the whole pass's, checked when the parts are put
      // together.
      part.buffer_size = INT64_MAX / 4;
      part.point_slots = room_for[k];
      part.buffer = job->buffer + window[k];
      part.out = k == 0 ? job->out : own[k].get();
      if (job->checkpoints != nullptr) {
        part.checkpoints = &marks[static_cast<size_t>(k)];
        part.checkpoint_every = job->checkpoint_every;
      }
      if (k > 0) {
        ScanCheckpoint& from = starts[static_cast<size_t>(k)];
        from = ScanCheckpoint{cut[k], 1, 0, 0, 0, cut[k], ' ', ' '};
        part.resume = &from;
      }
      if (k + 1 < static_cast<int64_t>(cut.size())) part.stop_at = cut[k + 1];
      scan_text(ScanMode::Pass, &part);
    }
  });

  // The parts in order, as long as the pass surely had room for them.
  const int64_t room_limit = B - 1 - 1000;
  int64_t nf = 1, count = 0;  // the pass's offset of the next byte, its points
  int32_t pass_end = job->previous_end;
  int64_t last_off = 0;
  unsigned char last_char = job->first_char;
  int64_t kept = 0;
  for (; kept < parts; ++kept) {
    const int64_t k = kept;
    const ScanJob& part = jobs[static_cast<size_t>(k)];
    const bool last = k + 1 == static_cast<int64_t>(cut.size());
    const int64_t stored = k == 0 ? part.stored : part.stored - 1;  // its own blank not counted
    const int64_t shift = k == 0 ? 0 : nf - 1;  // its offsets to the pass's
    const int64_t most_bytes = (k == 0 ? 1 : nf) + (part_end(k) - cut[k]) + (last ? 1003 : 0);
    const bool room = most_bytes < room_limit && count + part.count + 1 < slots &&
                      part.count + 1 < room_for[k];
    if (!room || !(last ? part.end_of_text : part.stopped)) break;
    // Its checkpoints (and its start) in the pass's terms.
    if (job->checkpoints != nullptr) {
      if (k > 0)
        job->checkpoints->push_back(
            ScanCheckpoint{cut[k], nf, static_cast<int32_t>(count), pass_end, last_off, cut[k], last_char, ' '});
      for (ScanCheckpoint m : marks[static_cast<size_t>(k)]) {
        if (k > 0 && m.pos == cut[k]) continue;
        if (!last && m.pos >= cut[k + 1]) continue;
        m.nf += shift;
        if (m.count == 0 && k > 0) {
          m.pass_end = pass_end;
          m.last_off = last_off;
          m.last_char = last_char;
        } else {
          m.last_off += shift;
        }
        m.count += static_cast<int32_t>(count);
        job->checkpoints->push_back(m);
      }
    }
    if (k > 0) {
      std::memmove(job->buffer + nf, job->buffer + window[k] + 1, static_cast<size_t>(stored));
      int32_t* to = job->out + count;
      const int32_t* from = own[k].get();
      for (int32_t i = 0; i < part.count; ++i) to[i] = from[i] + static_cast<int32_t>(shift);
    }
    if (part.count > 0) {
      pass_end = part.pass_end;
      last_char = part.last_char;
      last_off = job->out[count + part.count - 1];
    }
    nf = k == 0 ? part.stored : nf + stored;
    count += part.count;
    own[k].reset();
    if (last) {
      job->buffer[nf] = 0;
      // The parts wrote as far as their text reached; the pages past what
      // the pass keeps go back to the system (a part's text stores fewer
      // characters than it reads).
      release_pages(job->buffer + nf + 16, job->buffer + window[k] + part.stored + 1);
      job->count = static_cast<int32_t>(count);
      job->stored = nf;
      job->end_of_text = true;
      // Without points the pass ends where its last character was read.
      job->pass_end = count > 0 ? pass_end : part.pass_end;
      job->last_char = count > 0 ? last_char : part.last_char;
      return true;
    }
  }
  if (kept == 0) {
    if (job->checkpoints != nullptr) job->checkpoints->clear();
    scan_text(ScanMode::Pass, job);
    return true;
  }
  // The rest of the pass on this thread, from the start of the first part
  // not kept, in the pass's own terms.
  const ScanCheckpoint from{cut[kept], nf, static_cast<int32_t>(count), pass_end, last_off, cut[kept], last_char, ' '};
  if (job->checkpoints != nullptr) job->checkpoints->push_back(from);
  job->resume = &from;
  scan_text(ScanMode::Pass, job);
  job->resume = nullptr;
  return true;
}

bool replay_in_parts(ScanMode mode, int64_t start, unsigned char first_char, unsigned char* target,
                     int32_t* positions, ScanJob* whole) {
  const std::vector<ScanCheckpoint>* marks = find_checkpoints(start, first_char);
  if (mode == ScanMode::Pass || marks == nullptr || sort_threads() < 2) return false;
  {
    const ScanJob rules = pass_job(start, first_char, static_cast<int32_t>(start - 1));
    if (rules.use_points_file || rules.use_regions || !text_for_parts(start)) return false;
  }
  const BuildState& st = build_state();
  const int64_t rows = static_cast<int64_t>(st.control->stop_masks.size());
  const size_t window_size = static_cast<size_t>(std::max<int64_t>(64 * 1024, 2 * (rows + 2) + 16));
  const int64_t parts = static_cast<int64_t>(marks->size()) + 1;
  std::vector<ScanJob> jobs(static_cast<size_t>(parts));
  // A rebuild's parts write one buffer: each starts after the blank that
  // ends the part before, which is written first, and neighbours never run
  // at once (the even parts, then the odd ones).
  if (mode == ScanMode::Rebuild)
    for (const ScanCheckpoint& m : *marks) target[m.nf - 1] = ' ';
  const int waves = mode == ScanMode::Rebuild ? 2 : 1;
  for (int wave = 0; wave < waves; ++wave) {
    std::atomic<int64_t> next{0};
    split_work(sort_threads(), 1, [&](int, int64_t, int64_t) {
      std::vector<unsigned char> window(mode == ScanMode::Convert ? window_size : 0);
      for (int64_t i; (i = next.fetch_add(1)) * waves + wave < parts;) {
        const int64_t k = i * waves + wave;
        ScanJob& job = jobs[static_cast<size_t>(k)];
        job = pass_job(start, first_char, static_cast<int32_t>(start - 1));
        if (mode == ScanMode::Convert) {
          job.buffer = window.data();
          job.window_size = static_cast<int64_t>(window.size());
          job.out = positions;
        } else {
          job.buffer = target;
        }
        if (k > 0) job.resume = &(*marks)[static_cast<size_t>(k) - 1];
        if (k < parts - 1) job.stop_at = (*marks)[static_cast<size_t>(k)].pos;
        scan_text(mode, &job);
      }
    });
  }
  *whole = jobs.back();
  for (int64_t k = 0; k + 1 < parts; ++k) {
    const ScanJob& job = jobs[static_cast<size_t>(k)];
    const ScanCheckpoint& end = (*marks)[static_cast<size_t>(k)];
    if (!job.stopped || job.count != end.count || job.stored != end.nf) return false;
    whole->offset_sum += job.offset_sum;
    whole->offset_mix += job.offset_mix;
  }
  return true;
}

}  // namespace phases
