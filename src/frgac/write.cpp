// Writing fragmented texts: a plain file described as a fragmented text of
// one fragment (frgaccr), and the directory file of a described text
// written and the record released (frgaccl). The layout is the one frgac.h
// gives; a directory file written here opens with frgac_open.
#include <fcntl.h>
#include <sys/stat.h>

#include <climits>
#include <string>
#include <vector>

#include "commit/commit.h"
#include "frgac/frgac.h"
#include "io/vqio.h"
#include "msg/msg.h"
#include "pitas/pitas.h"

namespace {

constexpr int32_t kPairsPerBlock = 1024;

int64_t blocks_of(int64_t pairs, int64_t per_block) {
  return per_block > 0 ? (pairs + per_block - 1) / per_block : 0;
}

// The position of the first pair of each block of per_block pairs.
std::vector<int32_t> block_index(const std::vector<FrgacPair>& table, int32_t per_block) {
  std::vector<int32_t> index;
  for (size_t i = 0; i < table.size(); i += static_cast<size_t>(per_block)) {
    index.push_back(table[i].position);
  }
  return index;
}

// Words in the file's byte order (swapped when the record says so).
void put_words(std::vector<unsigned char>* out, const int32_t* words, size_t count, bool swap) {
  for (size_t i = 0; i < count; ++i) {
    unsigned char b[4];
    const uint32_t w = static_cast<uint32_t>(words[i]);
    store_word32(b, swap ? swap_word32(w) : w);
    out->insert(out->end(), b, b + 4);
  }
}

std::vector<unsigned char> pair_bytes(const std::vector<FrgacPair>& table, bool swap) {
  std::vector<unsigned char> out;
  for (const FrgacPair& p : table) {
    const int32_t w[2] = {p.position, p.delta};
    put_words(&out, w, 2, swap);
  }
  return out;
}

// Writes a part at its offset: false after the part's own message on the
// standard error. seek_message, when given, names a failed seek.
bool write_part(int fd, int64_t offset, const std::vector<unsigned char>& bytes,
                const char* write_message, const char* seek_message) {
  if (bytes.empty()) return true;
  if (vqio_lseek(fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(offset)) {
    error_printf("%s", seek_message != nullptr ? seek_message : write_message);
    return false;
  }
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = vqio_write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) {
      error_printf("%s", write_message);
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

// A block index is found by a seek of its own; its failure is reported
// through the hook.
bool write_root(int fd, int64_t offset, const std::vector<int32_t>& index, bool swap,
                const char* seek_report) {
  if (index.empty()) return true;
  if (vqio_lseek(fd, static_cast<off_t>(offset), SEEK_SET) != static_cast<off_t>(offset)) {
    vq_report(16, "%s", seek_report);
    return false;
  }
  std::vector<unsigned char> bytes;
  put_words(&bytes, index.data(), index.size(), swap);
  return write_part(fd, offset, bytes, "write of block index failed\n", nullptr);
}

// Lays out and writes the directory file of the record.
bool write_directory(FrgacText* t, int fd) {
  int32_t* h = t->header;
  const bool swap = t->swapped != 0;
  const int32_t per_block = h[FRG_PAIRS_PER_BLOCK];
  h[FRG_PAIRS_A] = static_cast<int32_t>(t->table_a.size());
  h[FRG_PAIRS_B] = static_cast<int32_t>(t->table_b.size());
  h[FRG_BLOCKS_A] = static_cast<int32_t>(blocks_of(h[FRG_PAIRS_A], per_block));
  h[FRG_BLOCKS_B] = static_cast<int32_t>(blocks_of(h[FRG_PAIRS_B], per_block));
  t->block_index_a = block_index(t->table_a, per_block);
  t->block_index_b = block_index(t->table_b, per_block);

  std::vector<unsigned char> names;
  for (const std::string& n : t->names) names.insert(names.end(), n.c_str(), n.c_str() + n.size() + 1);
  std::vector<unsigned char> records;
  if (t->records.size() >= 2) {
    for (const FrgacRecord& r : t->records) {
      const int32_t w[4] = {r.start, r.length, r.offset, r.name_index};
      put_words(&records, w, 4, swap);
    }
  }
  int64_t at = FRGAC_HEADER_BYTES;
  h[FRG_OFFSET_A] = static_cast<int32_t>(at);
  at += 8 * int64_t{h[FRG_PAIRS_A]};
  h[FRG_OFFSET_B] = static_cast<int32_t>(at);
  at += 8 * int64_t{h[FRG_PAIRS_B]};
  h[FRG_OFFSET_INDEX_A] = static_cast<int32_t>(at);
  at += 4 * int64_t{h[FRG_BLOCKS_A]};
  h[FRG_OFFSET_INDEX_B] = static_cast<int32_t>(at);
  at += 4 * int64_t{h[FRG_BLOCKS_B]};
  h[FRG_NAME_COUNT] = static_cast<int32_t>(t->names.size());
  h[FRG_OFFSET_NAMES] = static_cast<int32_t>(at);
  h[FRG_NAMES_LENGTH] = static_cast<int32_t>(names.size());
  at += static_cast<int64_t>(names.size());
  h[FRG_RECORD_COUNT] = static_cast<int32_t>(t->records.size());
  h[FRG_OFFSET_RECORDS] = records.empty() ? 0 : static_cast<int32_t>(at);
  at += static_cast<int64_t>(records.size());
  if (at > INT32_MAX) {
    vq_report(15, "frgaccl: the directory file of %s would exceed 2 GB.", t->file_name.c_str());
    return false;
  }

  std::vector<unsigned char> header;
  put_words(&header, h, FRGAC_HEADER_WORDS, swap);
  if (!write_part(fd, 0, header, "write of fragmented file header failed\n", nullptr)) return false;
  if ((h[FRG_FLAGS] & FRG_TABLE_A) &&
      !write_part(fd, h[FRG_OFFSET_A], pair_bytes(t->table_a, swap),
                  "write of logical fragments failed\n", nullptr))
    return false;
  if ((h[FRG_FLAGS] & FRG_TABLE_B) &&
      !write_part(fd, h[FRG_OFFSET_B], pair_bytes(t->table_b, swap),
                  "write of physical fragments failed\n", nullptr))
    return false;
  if (!write_part(fd, h[FRG_OFFSET_NAMES], names, "write of file names failed\n",
                  "lseek did not find file name offset\n"))
    return false;
  if (!write_part(fd, h[FRG_OFFSET_RECORDS], records, "write of file fragments failed\n",
                  "lseek did not find file fragment offset\n"))
    return false;
  if (!write_root(fd, h[FRG_OFFSET_INDEX_A], t->block_index_a, swap,
                  "frgac: lseek did not find the logical root offset."))
    return false;
  return write_root(fd, h[FRG_OFFSET_INDEX_B], t->block_index_b, swap,
                    "frgac: lseek did not find physical root offset");
}

// Frees the record's names, tables and block indexes and closes its
// descriptors.
void release(FrgacText* t) {
  if (t->fd >= 0 && vqio_close(t->fd) != 0) vq_report(16, "frgaccl: Unable to close f->FD.");
  if (t->fragment_fd >= 0 && vqio_close(t->fragment_fd) != 0)
    vq_report(16, "frgaccl: Unable to close f->FrD.");
  t->fd = t->fragment_fd = -1;
  t->fragment_index = -1;
  t->names.clear();
  t->records.clear();
  t->table_a.clear();
  t->table_b.clear();
  t->block_index_a.clear();
  t->block_index_b.clear();
}

}  // namespace

int frgaccr(const char* plain_name, const char* frg_dir, FrgacText* t, int flags) {
  frgac_close(t);
  *t = FrgacText();
  t->file_name = plain_name != nullptr ? plain_name : "";
  t->directory = frg_dir != nullptr ? frg_dir : "";
  struct stat sb{};
  // A file that waits for its commit is measured in its new file.
  if (vqio_stat(commit_current_name(t->file_name).c_str(), &sb) != 0) {
    vq_report(16, "frgaccr: Failed to obtain file size of %s.", t->file_name.c_str());
    return FRGAC_FAIL;
  }
  // Logical addresses run to size + 1, which must stay a 32-bit word.
  if (sb.st_size >= INT32_MAX) {
    vq_report(15, "frgaccr: %s is too large for a fragmented text (%lld bytes).",
              t->file_name.c_str(), static_cast<long long>(sb.st_size));
    return FRGAC_FAIL;
  }
  const int32_t size = static_cast<int32_t>(sb.st_size);
  int32_t* h = t->header;
  h[FRG_FLAGS] = flags & (FRG_TABLE_A | FRG_TABLE_B);
  h[FRG_MAJOR] = 1;
  h[FRG_MINOR] = -1;
  h[FRG_PHYSICAL_LENGTH] = size;
  h[FRG_LOGICAL_LENGTH] = size;
  h[FRG_PAIRS_PER_BLOCK] = kPairsPerBlock;
  t->names.push_back(t->file_name);
  h[FRG_NAME_COUNT] = 1;
  t->records.push_back({0, size, 0, 0});
  h[FRG_RECORD_COUNT] = 1;
  // Table A: logical address a is physical a - 1. Table B: the reverse.
  if (flags & FRG_TABLE_A) t->table_a = {{1, -1}, {size + 1, -1}};
  if (flags & FRG_TABLE_B) t->table_b = {{0, 1}, {size, 1}};
  h[FRG_PAIRS_A] = static_cast<int32_t>(t->table_a.size());
  h[FRG_PAIRS_B] = static_cast<int32_t>(t->table_b.size());
  return 0;
}

int frgaccl(FrgacText* t, int update) {
  int result = 0;
  if (update) {
    int32_t* h = t->header;
    ++h[FRG_MINOR];
    const std::string path = t->directory + "/frg." + std::to_string(h[FRG_MAJOR]) + "." +
                             std::to_string(h[FRG_MINOR]);
    const int fd = vqio_open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0666);
    if (fd < 0) {
      result = FRGAC_FAIL;
    } else {
      if (!write_directory(t, fd)) result = FRGAC_FAIL;
      if (vqio_close(fd) != 0) {
        vq_report(16, "frgaccl: Unable to close NFD.");
        result = FRGAC_FAIL;
      }
    }
  }
  release(t);
  return result;
}
