// A Phase I pass: as much of the text as the budget holds is scanned into
// the text buffer, its points are sorted as suffixes and written to the
// pass file <int-name>.i<n>, and the pass line is appended to the log.
//
// PassFile, 4-byte words in host byte order:
//   0 pass start   1 pass end   2 first character   3 point count c
//   4 offset of the pass's first word in the points file (0 without -p)
//   5.. the c buffer offsets of the points, in suffix order
// Its size is 20 + 4c bytes.
#include <sys/mman.h>

#include <system_error>
#include <thread>

#include "builder/phases_internal.h"
#include "msg/msg.h"

using namespace phases;

namespace {

// Asks for large pages over a buffer: a pass writes its text buffer and
// point array from the start, and with 4 KB pages a good part of a large
// pass went to the page faults of first writes. Only whole pages inside the
// buffer are advised; where large pages are off nothing changes.
void advise_large_pages(void* at, int64_t size) {
#ifdef MADV_HUGEPAGE
  const uintptr_t page = 4096;
  const uintptr_t from = (reinterpret_cast<uintptr_t>(at) + page - 1) & ~(page - 1);
  const uintptr_t to = (reinterpret_cast<uintptr_t>(at) + static_cast<uintptr_t>(size)) & ~(page - 1);
  if (to > from) madvise(reinterpret_cast<void*>(from), to - from, MADV_HUGEPAGE);
#else
  (void)at;
  (void)size;
#endif
}

void WritePassFile(int pass, const int32_t* points, int first_char, int last_char,
                     int32_t count, bool last, long points_offset) {
  BuildState& st = build_state();
  const std::string name = work_name(st.options->int_name, "i", pass);
  const int fd = vqio_open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
  if (fd < 0) vq_report(16, GetMsgNumText(60008), name.c_str());
  const int32_t header[5] = {st.pass_start, st.pass_end, first_char, count,
                             static_cast<int32_t>(points_offset)};
  if (!write_all(fd, header, sizeof header) ||
      !write_all(fd, points, static_cast<size_t>(count) * 4)) {
    vq_report(16, GetMsgNumText(60013), name.c_str());
  }
  if (vqio_close(fd) != 0) vq_report(16, GetMsgNumText(60013), name.c_str());
  char tail[48] = "";
  if (st.points_stream != nullptr) std::snprintf(tail, sizeof tail, ", %ld in IPFile", points_offset);
  log_append("%s%d from %d('%c') to %d('%c') %d nodes%s\n", last ? "Last " : "Initial ", pass,
             st.pass_start, first_char, st.pass_end, last_char, count, tail);
}

constexpr int64_t kCheckpointEvery = 256 * 1024;  // positions between checkpoints

int run_pass(int pass, int32_t* point_count) {
  BuildState& st = build_state();
  if (pass == 1) {
    advise_large_pages(st.text_buffer, st.buffer_size);
    advise_large_pages(st.points, st.point_slots * 4);
    // The first pass starts at the file's first byte, position Offset + 1.
    const FileInfo* rec = &st.control->texts[0];
    st.pass_end = rec->multi_file || rec->fragmented ? 0 : static_cast<int32_t>(rec->offset);
    st.last_char = ' ';
    st.total_points = 0;
    st.max_point_count = 0;
  }
  const int32_t start = st.pass_end + 1;
  const unsigned char first = st.last_char;
  ScanJob job = pass_job(start, first, st.pass_end);
  job.buffer = st.text_buffer;
  job.out = st.points;
  PointsCursor cursor;
  long points_offset = 0;
  if (job.use_points_file) {
    // Back over the word read ahead by the previous pass.
    points_offset = vqio_ftell(st.points_stream) - 4;
    if (points_offset < 0) points_offset = 0;
    points_start(&cursor, st.points_stream, points_offset);
    job.points = &cursor;
  }
  if (!job.use_points_file && !job.use_regions) {
    // Places where the conversion of this pass can be split.
    job.checkpoints = record_checkpoints(pass, start, first);
    job.checkpoint_every = kCheckpointEvery;
  }
  if (!scan_pass_in_parts(&job)) scan_text(ScanMode::Pass, &job);

  st.pass_start = start;
  st.first_char = first;
  st.pass_end = job.pass_end;
  st.last_char = job.last_char;
  st.point_count = job.count;
  if (job.count > st.max_point_count) st.max_point_count = job.count;
  st.total_points += job.count;
  if (st.options->verbose) {
    vq_report(1, "%s %d %s from %d to %d", GetMsgText(100020), pass, GetMsgText(100010), start,
              st.pass_end);
  }
  // Later passes compare with this one: its buffer is kept for them. The
  // sort only reads the stored text (its scratch lies past the NUL), so
  // the buffer is written out on a thread of its own while the sort runs
  // (where threads may write files of their own).
  const auto keep_text = [&] {
    if (!job.end_of_text) keep_pass_text(start, st.pass_end, first, st.text_buffer, job.stored + 1);
  };
  std::thread keeper;
  if (!job.end_of_text && job.count > 0 && sort_threads() > 1 && files_on_threads()) {
    try {
      keeper = std::thread(keep_text);
    } catch (const std::system_error&) {
    }
  }
  const bool kept_aside = keeper.joinable();
  if (job.count > 0) {
    // The text buffer past the NUL and the 8 bytes read after it is free.
    SortSpace space;
    space.text_end = job.stored;
    space.point_capacity = st.point_slots;
    const int64_t free_from = (job.stored + 1 + 8 + 15) / 16 * 16;
    if (free_from < st.buffer_size) {
      space.scratch = st.text_buffer + free_from;
      space.scratch_bytes = st.buffer_size - free_from;
    }
    SortPass(st.text_buffer, st.points, 0, job.count - 1, &space);
  }
  if (kept_aside) keeper.join();
  WritePassFile(pass, st.points, first, job.last_char, job.count, job.end_of_text,
                  points_offset);
  if (!kept_aside) keep_text();
  // The prefixes serve the walks of this pass with earlier ones and of
  // later ones with this one.
  if (!job.end_of_text || pass > 1)
    keep_pass_prefixes(start, st.pass_end, first, st.text_buffer, st.points, job.count);
  if (job.use_points_file && cursor.no_room_reads > 0) {
    // The next pass reads the text after this pass's last point again, and
    // the words read for it here with them.
    vqio_fseek(st.points_stream, -4L * cursor.no_room_reads, SEEK_CUR);
  }
  *point_count = job.count;
  return job.end_of_text ? 1 : 0;
}

}  // namespace

int BuildPass(int pass, int32_t* point_count) { return run_pass(pass, point_count); }

// The region pass differs only in its point rule (points inside the regions
// loaded at set-up), which the scanner takes from the options.
int BuildRegionPass(int pass, int32_t* point_count) { return run_pass(pass, point_count); }
