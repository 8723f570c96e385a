// The scanner engine: one pass over the text from a start position, by the
// rules of a Phase I pass. The pass itself, the rebuild of an earlier
// pass's buffer and the Phase II conversion of a pass to text positions all
// run this one engine, so that the three agree on every character stored
// and every point taken.
//
// Rules (per character c at position i, after mapping and collapsing):
//   room        the next free buffer byte lies below B - 1 - 1000 and the
//               point array is not full; while there is room, i and c are
//               the fallback end and last character;
//   point       by the class-pair table (previous buffer character, c), or
//               the next word of the points file, and inside a region with
//               -d; never beyond the text size (not in the padding);
//   taken       a point found with room; its stop-word check runs either way;
//   stop words  the latest point's characters are matched against the mask
//               rows; a blank that ends a stop word rewinds the buffer to
//               the point (one blank kept) and removes the point;
//   end         after the padding has been stored, or when the buffer is
//               full or the point array is, once 1000 characters are stored
//               after the last taken point (counted in the buffer, so that
//               stop-word rewinds cannot leave fewer).
// The Convert mode stores into a small sliding window but counts offsets as
// the pass's buffer would, so that room and end fall where they fell.
#include <algorithm>
#include <cstring>
#include <mutex>

#include "builder/phases_internal.h"
#include "msg/msg.h"
#include "pitst/pitst.h"

namespace phases {

namespace {

enum : int { AFTER_BLANK = 0, IN_WORD = 1, PADDING = 2 };

// The class-pair table expanded to characters: table[p * 256 + c] is 1
// when c starts a point after p. Rebuilt when the control changes.
struct PointTable {
  std::vector<int32_t> classes;
  std::vector<unsigned char> pairs;
  int32_t class_count = -1;
  std::vector<unsigned char> table;
};

const unsigned char* point_table(const BuildControl* ctl) {
  static PointTable cache;
  static std::mutex guard;  // parts of a conversion start on several threads
  const std::lock_guard<std::mutex> hold(guard);
  const bool same = cache.class_count == ctl->class_count && cache.pairs == ctl->pair_table &&
                    std::equal(cache.classes.begin(), cache.classes.end(), ctl->classes.begin());
  if (!same || cache.table.empty()) {
    cache.classes.assign(ctl->classes.begin(), ctl->classes.end());
    cache.pairs = ctl->pair_table;
    cache.class_count = ctl->class_count;
    cache.table.assign(256 * 256, 0);
    const size_t n = static_cast<size_t>(ctl->class_count);
    if (n > 0 && ctl->pair_table.size() >= n * n) {
      for (int p = 0; p < 256; ++p) {
        for (int c = 0; c < 256; ++c) {
          cache.table[static_cast<size_t>(p) * 256 + static_cast<size_t>(c)] =
              is_point_start(ctl, static_cast<unsigned char>(p), static_cast<unsigned char>(c));
        }
      }
    }
  }
  return cache.table.data();
}

// Stop-word mask rows; a control without rows behaves as one without stop
// words (a point at a blank is still removed).
const std::array<uint32_t, 256>* mask_rows(const BuildControl* ctl, int64_t* rows) {
  static std::array<uint32_t, 256> blank_only = [] {
    std::array<uint32_t, 256> r{};
    r[' '] = ~0u;
    return r;
  }();
  if (ctl->stop_masks.empty()) {
    *rows = 1;
    return &blank_only;
  }
  *rows = static_cast<int64_t>(ctl->stop_masks.size());
  return ctl->stop_masks.data();
}

size_t read_block_size(int64_t buffer_size) {
  return static_cast<size_t>(std::clamp<int64_t>(buffer_size, 64 * 1024, 256 * 1024));
}

// The order of the points file, checked once per word as it is first
// read: a word below the one before it may never become a point (the
// passes skip words below the position they stand at), so the build says
// so, once, and goes on.
struct PointsOrder {
  long furthest = -1;   // byte offset of the furthest word read
  int32_t word = 0;     // the word there
  bool warned = false;
};

void points_read(PointsCursor* p) {
  static PointsOrder order;
  const long at = vqio_ftell(p->stream);
  int32_t w = -1;
  if (vqio_fread(&w, 4, 1, p->stream) != 1 || w == -1) {
    p->exhausted = true;
    return;
  }
  if (at > order.furthest) {
    if (at == order.furthest + 4 && w < order.word && !order.warned) {
      const std::optional<std::string>& name = build_state().options->points_file;
      vq_report(0, "Index-points file %s: the word %d at byte %ld is below the word before it; "
                   "words out of order may not become index points.",
                name ? name->c_str() : "", w, at);
      order.warned = true;
    }
    order.furthest = at;
    order.word = w;
  }
  p->next = static_cast<int64_t>(w) + 1;
}

// R: the point rule, bit 0 the points file (else the class pairs), bit 1
// only inside the regions (a template argument, so that the loop tests no
// rule it does not use).
template <ScanMode M, int R>
void run(ScanJob* job) {
  BuildState& st = build_state();
  const BuildControl* ctl = st.control;
  const unsigned char* map = ctl->map.data();
  const unsigned char* pt = point_table(ctl);
  int64_t row_count = 0;
  const std::array<uint32_t, 256>* rows = mask_rows(ctl, &row_count);

  const int64_t B = job->buffer_size;
  const int64_t room_limit = B - 1 - 1000;
  const int64_t full_at = B - 1;
  const int64_t slots = job->point_slots;
  const int64_t text_size = st.text_size;
  constexpr bool by_points = (R & 1) != 0;
  constexpr bool by_regions = (R & 2) != 0;
  PointsCursor* pc = job->points;

  // Regions: the pairs are 1-based, sorted and disjoint (set-up joins them).
  const int32_t* reg = nullptr;
  int32_t reg_count = 0, r = 1;
  if (by_regions && st.regions != nullptr) {
    reg = st.regions->buffer;
    reg_count = st.region_count;
    int32_t lo = 1, hi = reg_count;  // the last region starting at or before the start
    while (lo < hi) {
      const int32_t mid = (lo + hi + 1) / 2;
      if (reg[2 * mid - 1] <= job->start) lo = mid;
      else hi = mid - 1;
    }
    r = lo;
  }

  unsigned char* win = job->buffer;
  const int64_t win_cap = M == ScanMode::Convert ? job->window_size : B;
  int64_t base = 0;  // virtual offset of win[0]
  int32_t* out = job->out;

  if (job->resume == nullptr) win[0] = job->first_char;
  int64_t nf = 1;
  int state = job->first_char == ' ' ? AFTER_BLANK : IN_WORD;
  int64_t pos = job->start - 1;
  int32_t count = 0;
  int64_t last_off = 0;
  int32_t pass_end = job->previous_end;
  unsigned char last_char = job->first_char;
  int32_t saved_end = 0;
  int64_t saved_off = 0;
  unsigned char saved_char = 0;
  int64_t fb_end = job->previous_end;
  unsigned char fb_char = job->first_char;
  uint32_t mask = 0;
  int64_t row = 0, check_off = 0;
  bool check_taken = false;
  int pad = 0;
  bool end_of_text = false;
  if (job->resume != nullptr) {
    // Taken up after a stored blank: the window holds that blank (a
    // rebuild's buffer holds it already; a part of a pass stores it).
    const ScanCheckpoint& at = *job->resume;
    pos = at.pos;
    nf = at.nf;
    if (M == ScanMode::Convert) {
      base = nf - 1;
      win[0] = ' ';
    } else if (M == ScanMode::Pass) {
      win[nf - 1] = ' ';
    }
    state = AFTER_BLANK;
    count = at.count;
    pass_end = at.pass_end;
    last_off = at.last_off;
    last_char = at.last_char;
    fb_end = at.fb_end;
    fb_char = at.fb_char;
  }
  std::vector<ScanCheckpoint>* checkpoints = M == ScanMode::Pass && R == 0 ? job->checkpoints : nullptr;
  int64_t next_checkpoint = checkpoints != nullptr ? pos + job->checkpoint_every : INT64_MAX;
  const int64_t stop_at = job->stop_at > 0 ? job->stop_at : INT64_MAX;
  bool stopped = false;

  TextReader rd;
  text_open(&rd, pos + 1, read_block_size(B));
  const unsigned char* in = rd.block.data();
  size_t in_at = 0, in_have = 0;

  for (;;) {
    if (state == AFTER_BLANK && mask == 0 && pos >= next_checkpoint) {
      checkpoints->push_back(
          ScanCheckpoint{pos, nf, count, pass_end, last_off, fb_end, last_char, fb_char});
      next_checkpoint = pos + job->checkpoint_every;
    }
    if (pos >= stop_at) {
      // The part ends where the next one starts; it must come there as the
      // pass did.
      job->stopped = pos == stop_at && state == AFTER_BLANK && mask == 0;
      stopped = true;
      break;
    }
    if (state == IN_WORD && mask == 0 && in_at < in_have) {
      // Fast run: characters inside a word that start no point and change
      // no rule (room, end, window, the next word of the points file) are
      // stored straight away.
      int64_t budget = static_cast<int64_t>(in_have - in_at);
      const bool room = nf < room_limit && count < slots;
      if (room) budget = std::min(budget, room_limit - nf);
      budget = std::min(budget, full_at - 1 - nf);
      if (count >= slots) budget = std::min(budget, last_off + 999 - nf);
      if (M == ScanMode::Convert) budget = std::min(budget, win_cap - (nf - base));
      if (by_points && !pc->exhausted) budget = std::min(budget, pc->next - pos - 1);
      if (budget > 0) {
        unsigned char prev = win[nf - 1 - base];
        unsigned char* dst = win + (nf - base);
        const unsigned char* src = in + in_at;
        int64_t k = 0;
        for (; k < budget; ++k) {
          const unsigned char m = map[src[k]];
          if (m == 0 || m == ' ' || pt[static_cast<size_t>(prev) * 256 + m] != 0) break;
          dst[k] = m;
          prev = m;
        }
        if (k > 0) {
          nf += k;
          in_at += static_cast<size_t>(k);
          pos += k;
          if (room) {
            fb_end = pos;
            fb_char = prev;
          }
        }
      }
    }
    unsigned char c = 0;
    if (state != PADDING) {
      for (;;) {
        if (in_at == in_have) {
          in_have = text_read(&rd);
          in_at = 0;
          if (in_have == 0) {
            pad = state == IN_WORD ? 0 : 1;
            state = PADDING;
            break;
          }
        }
        const unsigned char m = map[in[in_at++]];
        ++pos;
        if (m == 0) continue;
        if (state == IN_WORD) {
          c = m;
          if (m == ' ') state = AFTER_BLANK;
          break;
        }
        if (m != ' ') {
          c = m;
          state = IN_WORD;
          break;
        }
      }
    }
    if (state == PADDING) {
      c = (pad & 1) ? 'z' : ' ';
      ++pos;
      ++pad;
      if (c == 'z' && pad > 1000) end_of_text = true;
    }

    const bool room = nf < room_limit && count < slots;
    if (room) {
      fb_end = pos;
      fb_char = c;
    }
    bool point;
    if (by_points) {
      point = false;
      if (!pc->exhausted) {
        while (!pc->exhausted && pc->next < pos) {
          points_read(pc);
          if (M == ScanMode::Pass && !room) ++pc->no_room_reads;
        }
        if (!pc->exhausted && pc->next == pos) {
          point = pos <= text_size;
          points_read(pc);
          if (M == ScanMode::Pass && !room) ++pc->no_room_reads;
        }
      }
    } else {
      point = pt[static_cast<size_t>(win[nf - 1 - base]) * 256 + c] != 0 && pos <= text_size;
    }
    if (by_regions && point && reg != nullptr) {
      while (r <= reg_count && reg[2 * r] < pos) ++r;
      point = r <= reg_count && reg[2 * r - 1] <= pos;
    } else if (by_regions && point) {
      point = false;
    }
    if (point) {
      if (room) {
        if (M == ScanMode::Pass) out[count] = static_cast<int32_t>(nf);
        if (M == ScanMode::Convert) {
          out[count] = static_cast<int32_t>(pos);
          job->offset_sum += static_cast<uint64_t>(nf);
          job->offset_mix += offset_hash(nf);
        }
        ++count;
        saved_end = pass_end;
        saved_off = last_off;
        saved_char = last_char;
        pass_end = static_cast<int32_t>(pos);
        last_off = nf;
        last_char = c;
      }
      mask = ~0u;
      row = 0;
      check_off = nf;
      check_taken = room;
    }

    if (M == ScanMode::Convert && nf - base >= win_cap) {
      // Keep the previous character and, under a stop-word check, the
      // byte before the point (a rewind looks at it).
      int64_t keep = nf - 1;
      if (mask != 0) keep = std::min(keep, check_off - 1);
      std::memmove(win, win + (keep - base), static_cast<size_t>(nf - keep));
      base = keep;
    }
    win[nf - base] = c;
    ++nf;

    if (mask != 0) {
      mask = row < row_count ? mask & rows[row][c] : 0;
      ++row;
      if (c == ' ' && mask != 0) {
        nf = check_off;
        if (win[nf - 1 - base] != ' ') win[nf++ - base] = ' ';
        mask = 0;
        if (check_taken) {
          --count;
          if (M == ScanMode::Convert) {
            job->offset_sum -= static_cast<uint64_t>(last_off);
            job->offset_mix -= offset_hash(last_off);
          }
          pass_end = saved_end;
          last_off = saved_off;
          last_char = saved_char;
        }
      }
    }

    if (end_of_text) break;
    if ((nf >= full_at || count >= slots) && nf - last_off >= 1000) break;
  }
  text_close(&rd);

  if (M != ScanMode::Convert && !stopped) win[nf] = 0;  // (a part stops where the next one starts)
  job->count = count;
  job->stored = nf;
  job->end_of_text = end_of_text;
  if (count > 0) {
    job->pass_end = pass_end;
    job->last_char = last_char;
  } else {
    job->pass_end = static_cast<int32_t>(fb_end);
    job->last_char = fb_char;
  }
}

template <ScanMode M>
void by_rule(ScanJob* job) {
  switch ((job->use_points_file ? 1 : 0) | (job->use_regions ? 2 : 0)) {
    case 0: run<M, 0>(job); break;
    case 1: run<M, 1>(job); break;
    case 2: run<M, 2>(job); break;
    default: run<M, 3>(job); break;
  }
}

}  // namespace

void points_start(PointsCursor* p, VqStream* stream, long offset) {
  p->stream = stream;
  p->exhausted = false;
  p->no_room_reads = 0;
  if (vqio_fseek(stream, offset < 0 ? 0 : offset, SEEK_SET) != 0) {
    p->exhausted = true;
    return;
  }
  points_read(p);
}

ScanJob pass_job(int64_t start, unsigned char first_char, int32_t previous_end) {
  BuildState& st = build_state();
  ScanJob job;
  job.start = start;
  job.first_char = first_char;
  job.previous_end = previous_end;
  job.buffer_size = st.buffer_size;
  job.point_slots = st.point_slots;
  job.use_points_file = st.points_stream != nullptr;
  job.use_regions = st.options != nullptr && st.options->region_name.has_value();
  return job;
}

void scan_text(ScanMode mode, ScanJob* job) {
  switch (mode) {
    case ScanMode::Pass: by_rule<ScanMode::Pass>(job); break;
    case ScanMode::Rebuild: by_rule<ScanMode::Rebuild>(job); break;
    case ScanMode::Convert: by_rule<ScanMode::Convert>(job); break;
  }
}

}  // namespace phases
