// The replay of a pass in parts: a pass of a plain text records where its
// scan can be taken up again (after a stored blank), and the rebuild of its
// buffer for skip counting and its conversion to text positions then run
// from those places on several threads. Every part must come to the next
// part's place as the pass did, so the replay gives what the whole replay
// gives; when one does not (the text changed), the caller replays the pass
// whole, which reports it.
#include <algorithm>
#include <atomic>
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
