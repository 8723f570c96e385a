// Message index: a growable array of {number, where the text is} sorted by
// number, and the parser that fills it from a message file.
//
// The parser reads the file with the tag stream and keeps a running count of
// the bytes of every token read, which is the file offset of the next token:
// the offset recorded for a message is the count right after its <VQText>
// tag, i.e. its first text byte. Inside a text every byte up to the first
// </VQText> belongs to the text, so tags there (known, unknown or malformed)
// only add their length.
#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "msg/msg.h"
#include "sinsi/sinsi.h"

namespace {

constexpr const char* kAllocFile = "GetMsgText.c";
constexpr int32_t kFirstCapacity = 20;

// Grows index so that it holds at least want entries.
void reserve_entries(MsgIndex* index, int32_t want) {
  if (want <= index->capacity) return;
  int32_t capacity = index->capacity > 0 ? index->capacity : kFirstCapacity;
  while (capacity < want) capacity = capacity > INT32_MAX / 2 ? INT32_MAX : capacity * 2;
  size_t bytes = static_cast<size_t>(capacity) * sizeof(MsgIndexEntry);
  void* grown = std::realloc(index->entries, bytes);
  if (grown == nullptr) {
    if (index->entries == nullptr) {
      vq_alloc_failed(static_cast<long>(bytes), capacity, sizeof(MsgIndexEntry), __LINE__,
                      kAllocFile);
    }
    vq_realloc_failed(static_cast<long>(bytes), capacity, sizeof(MsgIndexEntry), __LINE__,
                      kAllocFile);
  }
  index->entries = static_cast<MsgIndexEntry*>(grown);
  index->capacity = capacity;
}

// Tags of the message file, by id.
enum : int32_t { kMessages = 0, kMessage = 1, kLevel = 2, kCode = 3, kText = 4, kArg = 5 };
const char* const kTagNames[] = {"VQMessages", "VQMessage", "VQLevel", "VQCode",
                                 "VQText",     "VQArg",     nullptr};
const int32_t kTagIds[] = {kMessages, kMessage, kLevel, kCode, kText, kArg};

// Digits of a VQCode that take part in the number.
constexpr size_t kCodeChars = 31;

// State of the message-file parser between calls.
struct MsgFileParser {
  SinsiStream* tags = nullptr;
  bool failed = false;      // set-up failed or the input ended: nothing more
  long count = 0;           // bytes of all tokens read so far
  bool in_text = false;     // between <VQText> and </VQText>
  bool want_code = false;   // after <VQCode>, before its text
  long number = 0;          // of the current message; 0 when none was given
  long offset = -1;         // of the current message's text; -1 when none
};
MsgFileParser parser;

void parser_close() {
  sinsicl(parser.tags);
  parser = MsgFileParser{};
}

bool parser_open(VqStream* stream) {
  parser = MsgFileParser{};
  parser.tags = sinsios(stream, nullptr, nullptr, nullptr);
  if (parser.tags == nullptr ||
      sinsidt(parser.tags, kTagNames, kTagIds, &SinsiAngleDelimiters) != SINSI_OK) {
    parser.failed = true;
    return false;
  }
  return true;
}

// The number held by the text of a VQCode: its first 31 bytes in base 10.
long code_number(SinsiStream* tags) {
  char digits[kCodeChars + 1];
  size_t size = kCodeChars;
  if (sinsigx(tags, digits, &size) != SINSI_OK) return 0;
  digits[size] = '\0';
  return std::strtol(digits, nullptr, 10);
}

}  // namespace

MsgIndex* msgidx_create(int32_t capacity, int32_t count, int32_t entry_size,
                        const MsgIndexEntry* entries) {
  VQ_ASSERT(entry_size == static_cast<int32_t>(sizeof(MsgIndexEntry)) && count >= 0);
  auto* index = static_cast<MsgIndex*>(std::calloc(1, sizeof(MsgIndex)));
  if (index == nullptr) vq_alloc_failed(sizeof(MsgIndex), 1, sizeof(MsgIndex), __LINE__, kAllocFile);
  index->entry_size = entry_size;
  if (capacity > 0 || count > 0) {
    // Allocate exactly the asked capacity (a table index is never grown).
    int32_t want = std::max(capacity, count);
    size_t bytes = static_cast<size_t>(want) * sizeof(MsgIndexEntry);
    index->entries = static_cast<MsgIndexEntry*>(std::malloc(bytes));
    if (index->entries == nullptr) {
      vq_alloc_failed(static_cast<long>(bytes), want, sizeof(MsgIndexEntry), __LINE__, kAllocFile);
    }
    index->capacity = want;
  }
  if (count > 0) std::memcpy(index->entries, entries, count * sizeof(MsgIndexEntry));
  index->count = count;
  return index;
}

void msgidx_free(MsgIndex* index) {
  if (index == nullptr) return;
  std::free(index->entries);
  std::free(index);
}

int32_t msgidx_load(VqStream* stream, MsgIndex* index, MsgParseFn parse) {
  int32_t added = 0;
  uint32_t number = 0;
  long offset = 0;
  while (parse(1, stream, &number, &offset) == 1) {
    if (index->count == INT32_MAX) break;
    reserve_entries(index, index->count + 1);
    index->entries[index->count++] = MsgIndexEntry{number, offset, nullptr};
    ++added;
  }
  parse(0, stream, nullptr, nullptr);
  return added;
}

void msgidx_sort(MsgIndex* index) {
  if (index->count < 2) return;
  // Stable, so that among equal numbers the first in the file is found.
  std::stable_sort(index->entries, index->entries + index->count,
                   [](const MsgIndexEntry& a, const MsgIndexEntry& b) {
                     return a.number < b.number;
                   });
}

const MsgIndexEntry* msgidx_find(const MsgIndex* index, long n) {
  if (index == nullptr || index->count == 0 || n < 0 || n > static_cast<long>(UINT32_MAX)) {
    return nullptr;
  }
  const MsgIndexEntry* begin = index->entries;
  const MsgIndexEntry* end = begin + index->count;
  const MsgIndexEntry* at =
      std::lower_bound(begin, end, static_cast<uint32_t>(n),
                       [](const MsgIndexEntry& e, uint32_t key) { return e.number < key; });
  return at != end && at->number == n ? at : nullptr;
}

int msgfile_next_entry(int operation, VqStream* stream, uint32_t* number, long* offset) {
  if (operation == 0) {
    parser_close();
    return 0;
  }
  if (parser.tags == nullptr && !parser.failed && !parser_open(stream)) return 0;
  if (parser.failed) return 0;

  for (;;) {
    size_t length = 0;
    int status = 0;
    int kind = sinsint(parser.tags, &length, &status);
    if (kind == SINSI_EOF) break;
    parser.count += static_cast<long>(length);
    if (parser.in_text) {
      // Everything up to </VQText> is text, malformed tags included.
      if (kind == SINSI_END_TAG && sinsigt(parser.tags, nullptr, nullptr) == kText) {
        parser.in_text = false;
      }
      continue;
    }
    if (kind == SINSI_MALFORMED) break;
    if (kind == SINSI_TEXT) {
      if (parser.want_code) {
        parser.number = code_number(parser.tags);
        parser.want_code = false;
      }
      continue;
    }
    if (kind != SINSI_START_TAG && kind != SINSI_END_TAG) continue;  // unknown tag

    int32_t id = sinsigt(parser.tags, nullptr, nullptr);
    if (kind == SINSI_START_TAG) {
      if (id == kMessage) {
        parser.number = 0;
        parser.offset = -1;
        parser.want_code = false;
      } else if (id == kCode) {
        parser.want_code = true;
      } else if (id == kText) {
        parser.offset = parser.count;
        parser.in_text = true;
      }
      continue;
    }
    if (id == kCode && parser.want_code) {
      parser.number = 0;  // an empty VQCode files the message under 0
      parser.want_code = false;
    } else if (id == kMessage) {
      // A message without a text, or with a number no index can hold
      // (negative or over 32 bits), is not filed.
      if (parser.offset < 0 || parser.number < 0 || parser.number > static_cast<long>(UINT32_MAX)) {
        continue;
      }
      *number = static_cast<uint32_t>(parser.number);
      *offset = parser.offset;
      parser.offset = -1;
      return 1;
    } else if (id == kMessages) {
      break;
    }
  }
  parser.failed = true;
  return 0;
}
