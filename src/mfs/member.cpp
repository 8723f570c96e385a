// Reading the members of a set: opening the chain of the member that holds
// an address, positioned and continued reads through it, spans and member
// lengths. One member chain is open at a time (process-wide state).
//
// In the search view the logical address of the open chain's next byte is
// tracked, so a continued read that does not start where the chain stands
// (after a span, a member length or a failed positioned read) positions
// the chain first, and a read never runs past the member's last address.
#include <algorithm>

#include "mfs/setstate.h"
#include "msg/msg.h"

namespace {

int32_t member_start(const MfsHandle* h, int32_t i) {
  return h->xmap->rows[static_cast<size_t>(i)].start;
}
int32_t member_end(const MfsHandle* h, int32_t i) {
  return h->xmap->rows[static_cast<size_t>(i) + 1].start - 1;
}

const char* current_file(const MfsHandle* h) {
  return h->current_entry ? h->current_entry->file.c_str() : "";
}

// The chain's status after an operation: 0, or -1 after reporting it
// (75036 when the member file could not be opened, else 75047).
int check_status(MfsHandle* h, MfsStream* chain, bool positioned) {
  const int status = chain->get_status(chain);
  if (status == MFS_STATUS_OK) return 0;
  const long message = status == MFS_STATUS_NO_FILE && positioned ? 75036 : 75047;
  vq_report(13, GetMsgNumText(message), current_file(h));
  return -1;
}

// Bytes a search-view read at address in member i may take.
long clip(const MfsHandle* h, int32_t i, int32_t address, long n) {
  return std::min<long>(n, static_cast<long>(member_end(h, i)) - address + 1);
}

}  // namespace

void mfs_close_open_member() {
  MfsState& st = mfs_state();
  if (st.open_chain) mfs_chain_close(st.open_chain);
  st.open_chain = nullptr;
  st.open_index = -1;
  st.open_view = -1;
  st.open_address = -1;
}

int mfs_open_member(MfsHandle* h, int32_t i, int force) {
  MfsState& st = mfs_state();
  if (!force && st.open_chain && i == st.open_index && h->view == st.open_view) return 1;
  mfs_close_open_member();
  MfsMapEntry* e = mfs_get_entry(h, i);
  if (!e) return -1;
  const int32_t list = mfs_fl_find_id(h->filter_lists, mfs_entry_view_id(e, h->view));
  MfsStream* chain = list < 0 ? nullptr : h->filter_lists->rows[static_cast<size_t>(list)].chain;
  if (!chain) {
    // The entry names a filter list the set does not have.
    vq_report(13, GetMsgNumText(75047), e->file.c_str());
    return -1;
  }
  if (mfs_chain_open(chain, e->file.c_str()) == -1) {
    vq_report(2, GetMsgNumText(75036), e->file.c_str());
    return -1;
  }
  if (st.check_changed && chain->ctl(chain, MFS_CTL_CHANGED, &e->date) > 0)
    vq_report(2, GetMsgNumText(75026), e->file.c_str());
  st.open_chain = chain;
  st.open_index = i;
  st.open_view = h->view;
  st.open_address = h->view == MFS_VIEW_SEARCH ? e->start : -1;
  return 0;
}

long mfs_read_span(MfsHandle* h, int32_t address, void* buffer, long n) {
  MfsState& st = mfs_state();
  int32_t i = mfs_xmap_lookup(h->xmap, address);
  if (i < 0) return 0;
  if (n < 1) {
    st.continue_address = address;
    return 0;
  }
  const int32_t members = mfs_member_count(h);
  long count = 0;
  while (i < members) {
    // A read that goes on where the member's open chain stands reads it as
    // it stands: the bytes are the same, and a chain that makes its whole
    // text first ("sys") is not run again for every block.
    const bool stands = h->view == MFS_VIEW_SEARCH && st.open_chain && st.open_index == i &&
                        st.open_view == h->view && st.open_address == address;
    if (!stands) {
      if (mfs_open_member(h, i, 1) == -1) break;
      MfsStream* chain = st.open_chain;
      st.open_address = -1;
      chain->seek(chain, address - member_start(h, i));
      if (check_status(h, chain, true) == -1) return -1;
    }
    MfsStream* chain = st.open_chain;
    st.open_address = -1;
    count = chain->read(chain, buffer, clip(h, i, address, n));
    if (check_status(h, chain, false) == -1) return -1;
    if (count > 0) {
      address += static_cast<int32_t>(count);
      st.open_address = address;
      break;
    }
    // The member gave less than its map entry says: go on with the next.
    count = 0;
    if (++i < members) address = member_start(h, i);
  }
  st.continue_address = address;
  return count;
}

long mfs_read_continue(MfsHandle* h, void* buffer, long n) {
  MfsState& st = mfs_state();
  const int32_t members = mfs_member_count(h);
  for (;;) {
    const int32_t address = st.continue_address;
    const int32_t i = mfs_xmap_lookup(h->xmap, address);
    if (i < 0) return 0;
    const int opened = mfs_open_member(h, i, 0);
    if (opened != -1) {
      MfsStream* chain = st.open_chain;
      if (st.open_address != address) {
        st.open_address = -1;
        chain->seek(chain, address - member_start(h, i));
        if (check_status(h, chain, false) == -1) return -1;
        st.open_address = address;
      }
      st.open_address = -1;  // known again once the read has succeeded
      const long count = chain->read(chain, buffer, clip(h, i, address, n));
      if (check_status(h, chain, false) == -1) return -1;
      if (count > 0) {
        st.continue_address = address + static_cast<int32_t>(count);
        st.open_address = st.continue_address;
        return count;
      }
    }
    // The member is at its end (or cannot be opened): the next one, from
    // its start.
    if (i + 1 >= members) return 0;
    st.continue_address = member_start(h, i + 1);
  }
}

long mfs_read_entry_part(MfsHandle* h, int32_t address, void* buffer, long n) {
  MfsState& st = mfs_state();
  if (!st.view_start_armed) return 0;
  const int32_t i = mfs_xmap_lookup(h->xmap, address);
  if (i < 0) return 0;
  if (mfs_open_member(h, i, 1) == -1) {
    st.continue_address = member_start(h, i);
    st.view_start_armed = 0;
    return 0;
  }
  MfsStream* chain = st.open_chain;
  chain->seek(chain, address - member_start(h, i));
  if (check_status(h, chain, true) == -1) return -1;
  const long count = chain->read(chain, buffer, n);
  if (check_status(h, chain, false) == -1) return -1;
  st.continue_address = member_start(h, i);
  st.view_start_armed = 0;
  return count;
}

long mfs_read_view_continue(MfsHandle* h, void* buffer, long n) {
  MfsState& st = mfs_state();
  for (;;) {
    const int32_t i = mfs_xmap_lookup(h->xmap, st.continue_address);
    if (i < 0) return 0;
    if (mfs_open_member(h, i, 0) == -1) {
      st.continue_address = member_start(h, i);
      return 0;
    }
    MfsStream* chain = st.open_chain;
    const long count = chain->read(chain, buffer, n);
    if (check_status(h, chain, false) == -1) return -1;
    if (count > 0) {
      st.continue_address = member_start(h, i);
      return count;
    }
    st.continue_address = member_end(h, i) + 1;
  }
}

int32_t mfs_span_size(MfsHandle* h, int32_t address, int32_t n) {
  MfsState& st = mfs_state();
  int32_t i = mfs_xmap_lookup(h->xmap, address);
  if (i < 0) return 0;
  const int32_t members = mfs_member_count(h);
  long total = 0;
  for (; n > 0 && i < members; ++i) {
    const int32_t start = member_start(h, i), end = member_end(h, i);
    if (end < start) continue;  // an empty member holds no part of the span
    const int32_t len = std::min(n, end - address + 1);
    if (mfs_open_member(h, i, 1) != -1) {
      MfsStream* chain = st.open_chain;
      st.open_address = -1;
      const off_t r = chain->span(chain, address - start, len, end - start + 1);
      if (r == -1) {
        if (chain->get_status(chain) == MFS_STATUS_OK) {
          vq_report(2, GetMsgNumText(90107), static_cast<int>(n), static_cast<int>(address + 1),
                    current_file(h));
        } else {
          vq_report(13, GetMsgNumText(75036), current_file(h));
        }
        return -1;
      }
      total += r;
    }
    // A member that cannot be opened adds nothing, but its part is passed.
    n -= len;
    address += len;
  }
  // The continued-read address is the reader's: a span does not move it.
  return total > INT32_MAX ? -1 : static_cast<int32_t>(total);
}

int32_t mfs_member_length(MfsHandle* h, int32_t address) {
  MfsState& st = mfs_state();
  const int32_t i = mfs_xmap_lookup(h->xmap, address);
  if (i < 0 || mfs_open_member(h, i, 1) == -1) return 0;
  MfsStream* chain = st.open_chain;
  st.open_address = -1;  // the chain is left at the member's end
  long total = 0;
  unsigned char piece[1024];
  long got;
  while ((got = chain->read(chain, piece, sizeof piece)) > 0) total += got;
  return total > INT32_MAX ? -1 : static_cast<int32_t>(total);
}
