// Making and checking the 512-byte data-file header (layout in pitas.h).
#include "pitas/pitas.h"

#include <cstdlib>

#include "msg/msg.h"
#include "util/util.h"

const int32_t DataFileMinVersion[PITAS_MAX_TYPE + 1] = {0,     40000, 0,     0,     0,    0,
                                                         40000, 50000, 50000, 50000, 50000};

PitasHeader* pitasch(uint32_t type, int32_t version, int32_t major, int32_t minor,
                     uint32_t extra) {
  auto* header = static_cast<PitasHeader*>(
      vq_calloc(1, sizeof(PitasHeader), __LINE__, "pitas/CreatHdr.c"));
  if (type > PITAS_MAX_TYPE)
    vq_report(5, "pitasch: type = %d.", static_cast<int>(type));
  else
    header->word[PITAS_WORD_TYPE] = type;
  if (major > 0 && minor >= 0) {
    header->word[PITAS_WORD_MAJOR] = static_cast<uint32_t>(major);
    header->word[PITAS_WORD_MINOR] = static_cast<uint32_t>(minor);
  } else {
    vq_report(5, "pitasch: Major = %d, Minor = %d.", major, minor);
  }
  header->word[PITAS_WORD_EXTRA] = extra;
  header->word[PITAS_WORD_MARK] = PITAS_MARK;
  header->word[PITAS_WORD_VERSION] = static_cast<uint32_t>(version);
  header->word[PITAS_WORD_SENTINEL] = PITAS_SENTINEL;
  return header;
}

static void swap_header(PitasHeader* header) { swap_words(header->word, PITAS_HEADER_WORDS); }

int pitasck(PitasHeader* header, int* swapped, const char* file_name) {
  *swapped = 0;
  if (header->word[PITAS_WORD_MARK] != PITAS_MARK) {
    swap_header(header);
    if (header->word[PITAS_WORD_MARK] == PITAS_MARK) {
      *swapped = 1;
    } else {
      // Neither order makes sense: leave the words as they were read.
      swap_header(header);
      vq_report(13, "File header seems mangled: %s", file_name);
    }
  }
  uint32_t sentinel = header->word[PITAS_WORD_SENTINEL];
  if (sentinel != PITAS_SENTINEL && sentinel != 0)
    vq_report(13, "File %s appears to have undergone text translation.", file_name);
  // The type is unsigned: a word that reads as negative is unknown too, and
  // never indexes the version table.
  uint32_t type = header->word[PITAS_WORD_TYPE];
  if (type > PITAS_MAX_TYPE) {
    vq_report(13, "Unknown data file type: %s", file_name);
  } else if (static_cast<int32_t>(header->word[PITAS_WORD_VERSION]) <
             DataFileMinVersion[type]) {
    vq_report(13, "Data file version too old: %s", file_name);
  }
  return static_cast<int>(type);
}

void pitas_encode(const PitasHeader* header, unsigned char bytes[PITAS_HEADER_BYTES]) {
  for (size_t i = 0; i < PITAS_HEADER_WORDS; ++i) store_word32(bytes + 4 * i, header->word[i]);
}

void pitas_decode(const unsigned char bytes[PITAS_HEADER_BYTES], PitasHeader* header) {
  for (size_t i = 0; i < PITAS_HEADER_WORDS; ++i) header->word[i] = load_word32(bytes + 4 * i);
}
