// A ready tag position file (-sw) checked before anything is written: it
// must be whole records, name only slots the tag names give (and the
// default-data slot when the run makes that region), hold an even number
// of positions per slot, and no position beyond the text. A damaged file
// would otherwise become Region entries whose pairs lie outside the text.
#include <unistd.h>

#include <cstring>
#include <vector>

#include "tagregion/tagregion.h"

void region_check_tagpos(const std::string& path, int32_t slot_count, bool default_data,
                         int64_t text_size, const char* text_name) {
  const int fd = vqio_open(path.c_str(), O_RDONLY);
  if (fd < 0) msg_report(16, 80019, path.c_str());
  struct stat sb{};
  if (vqio_fstat(fd, &sb) != 0) msg_report(16, 80019, path.c_str());
  const int tail = static_cast<int>(sb.st_size % TAGPOS_RECORD_BYTES);
  if (tail != 0) msg_report(9, 80007, path.c_str(), tail);
  int64_t count[TAG_SLOTS] = {};
  std::vector<unsigned char> chunk(64 * 1024 * TAGPOS_RECORD_BYTES);
  int64_t left = sb.st_size;
  while (left > 0) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(left, chunk.size()));
    size_t got = 0;
    while (got < want) {
      const ssize_t n = vqio_read(fd, chunk.data() + got, want - got);
      if (n <= 0) msg_report(16, 80019, path.c_str());
      got += static_cast<size_t>(n);
    }
    left -= static_cast<int64_t>(want);
    for (size_t i = 0; i < want; i += TAGPOS_RECORD_BYTES) {
      const int slot = chunk[i];
      if (slot >= slot_count && !(default_data && slot == TAG_DEFAULT_DATA_SLOT))
        msg_report(9, 80034, path.c_str(), slot, slot_count - 1);
      uint32_t position;
      std::memcpy(&position, &chunk[i + 1], 4);
      if (text_size >= 0 && static_cast<int64_t>(position) >= text_size)
        msg_report(9, 80035, path.c_str(), static_cast<unsigned long>(position), text_name,
                   static_cast<long long>(text_size));
      ++count[slot];
    }
  }
  vqio_close(fd);
  for (int s = 0; s < TAG_SLOTS; ++s)
    if (count[s] % 2 != 0) msg_report(9, 80008, path.c_str(), s);
}
