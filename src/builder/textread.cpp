// Reading the text to index in large blocks from a 1-based text position.
//
// Position p of a plain file is byte p - 1 - Offset (the first text
// record's Offset); of a fragmented text, logical address p; of a
// multi-file set, logical address p - 1 (the set is opened once by set-up
// and kept in the build state). Positions before a plain file's first byte
// are never asked for: a build starts at Offset + 1.
#include <cerrno>
#include <cstring>
#include <utility>

#include "builder/phases_internal.h"
#include "frgac/frgac.h"
#include "mfs/mfs.h"
#include "msg/msg.h"

namespace phases {

void text_open(TextReader* r, int64_t start, size_t block_size) {
  BuildState& st = build_state();
  const FileInfo* rec = &st.control->texts[0];
  *r = TextReader{};
  r->record = rec;
  r->next = start;
  r->block = take_bytes(block_size);
  const char* name = rec->sys_name != nullptr ? rec->sys_name : "";
  if (rec->multi_file) {
    if (st.mfs == nullptr) {
      vq_report(16, GetMsgNumText(60006), rec->file_map != nullptr ? rec->file_map : "");
    }
    return;
  }
  if (rec->fragmented) {
    r->frg = new FrgacText;
    if (frgac_open(name, rec->frg_dir, rec->major, rec->minor, 0, FRGAC_READ, r->frg, 0) != 0) {
      delete r->frg;
      r->frg = nullptr;
      vq_report(16, GetMsgNumText(60006), name);
      return;
    }
    if (start >= 1 && start <= r->frg->header[FRG_LOGICAL_LENGTH]) frgacsk(r->frg, static_cast<long>(start));
    else r->at_end = true;
    return;
  }
  r->fd = vqio_open(name, O_RDONLY);
  if (r->fd < 0) {
    vq_report(16, GetMsgNumText(60006), name);
    return;
  }
  const int64_t byte = start - 1 - static_cast<int64_t>(rec->offset);
  if (byte < 0 || vqio_lseek(r->fd, static_cast<off_t>(byte), SEEK_SET) < 0) {
    vq_report(16, GetMsgNumText(60006), name);
  }
}

size_t text_read(TextReader* r) {
  if (r->at_end) return 0;
  size_t got = 0;
  const size_t want = r->block.size();
  unsigned char* out = r->block.data();
  if (r->fd >= 0) {
    while (got < want) {
      const ssize_t n = vqio_read(r->fd, out + got, want - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        vq_report(16, GetMsgNumText(60006), r->record->sys_name);
        return 0;
      }
      if (n == 0) break;
      got += static_cast<size_t>(n);
    }
  } else if (r->frg != nullptr) {
    while (got < want) {
      const int c = frgacgc(r->frg);
      if (c < 0) break;
      out[got++] = static_cast<unsigned char>(c);
    }
  } else {
    MfsReader* set = build_state().mfs;
    if (set != nullptr && r->next - 1 <= INT32_MAX) {
      const long n = mfs_file_read_at(set, static_cast<int32_t>(r->next - 1), out,
                                      static_cast<long>(want));
      if (n > 0) got = static_cast<size_t>(n);
    }
  }
  if (got == 0) r->at_end = true;
  r->next += static_cast<int64_t>(got);
  return got;
}

void text_close(TextReader* r) {
  if (r->fd >= 0) vqio_close(r->fd);
  if (r->frg != nullptr) {
    frgac_close(r->frg);
    delete r->frg;
  }
  r->fd = -1;
  r->frg = nullptr;
  give_bytes(std::move(r->block));
  r->block.clear();
}

}  // namespace phases
