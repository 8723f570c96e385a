// Shared helpers of the tag-stream tests: input from strings, running the
// product to a token list in the reference's shape, defining sets.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "reference_tokenizer.h"
#include "sinsi/sinsi.h"
#include "support/scratch.h"

namespace harness {

// Starts the I/O layer once (the tests open files through it).
using ::start_io;

// Read-callback handle over a string; the callback keeps returning -1 at
// the end and counts how often it was called there.
struct StringInput {
  std::string data;
  size_t pos = 0;
  int reads_at_end = 0;
};
inline int read_string(void* handle) {
  auto* in = static_cast<StringInput*>(handle);
  if (in->pos >= in->data.size()) {
    ++in->reads_at_end;
    return -1;
  }
  return static_cast<unsigned char>(in->data[in->pos++]);
}

inline int define_set(SinsiStream* s, const ref::DelimiterSet& set) {
  std::vector<std::string> names;
  std::vector<const char*> ptrs;
  std::vector<int32_t> ids;
  for (const auto& [name, id] : set.names) names.push_back(name);
  for (const auto& [name, id] : set.names) ids.push_back(id);
  for (const auto& name : names) ptrs.push_back(name.c_str());
  ptrs.push_back(nullptr);
  SinsiDelimiters d = {static_cast<unsigned char>(set.open), static_cast<unsigned char>(set.end),
                       static_cast<unsigned char>(set.close)};
  return sinsidt(s, ptrs.data(), ids.data(), &d);
}

// Reads every token up to and including the end, checking on the way that
// each call's status agrees with its kind.
inline std::vector<ref::Token> run(SinsiStream* s) {
  std::vector<ref::Token> out;
  for (int guard = 0; guard < 10000000; ++guard) {
    size_t length = 99999;
    int status = -1;
    int kind = sinsint(s, &length, &status);
    EXPECT_EQ(status, kind == SINSI_MALFORMED ? SINSI_BAD : kind == SINSI_EOF ? SINSI_END : SINSI_OK)
        << "kind " << kind;
    char buf[SINSI_BUFSIZE + 1];
    size_t size = SINSI_BUFSIZE;
    sinsigx(s, buf, &size);
    EXPECT_EQ(size, length);
    int gt_status = -1;
    int32_t id = sinsigt(s, nullptr, &gt_status);
    out.push_back({kind, std::string(buf, size), id});
    if (kind == SINSI_EOF) break;
  }
  return out;
}

inline std::vector<ref::Token> run_string(const std::string& input,
                                          const std::vector<ref::DelimiterSet>& sets) {
  StringInput in{input};
  SinsiStream* s = sinsios(&in, nullptr, read_string, nullptr);
  for (const auto& set : sets) EXPECT_EQ(define_set(s, set), SINSI_OK);
  auto tokens = run(s);
  sinsicl(s);
  return tokens;
}

// Block input over a string, in blocks whose sizes cycle through `sizes`.
struct BlockInput {
  std::string data;
  std::vector<size_t> sizes;
  size_t pos = 0, turn = 0;
};
inline size_t read_blocks(void* handle, const unsigned char** block) {
  auto* in = static_cast<BlockInput*>(handle);
  const size_t n = std::min(in->sizes[in->turn++ % in->sizes.size()], in->data.size() - in->pos);
  *block = reinterpret_cast<const unsigned char*>(in->data.data() + in->pos);
  in->pos += n;
  return n;
}

// Reads every token with sinsins from blocks: text runs come as their byte
// count (a text token whose text is that many "." bytes), tags as read.
inline std::vector<ref::Token> run_counting(const std::string& input,
                                            const std::vector<ref::DelimiterSet>& sets,
                                            std::vector<size_t> sizes) {
  BlockInput in{input, std::move(sizes)};
  SinsiStream* s = sinsiob(&in, read_blocks);
  for (const auto& set : sets) EXPECT_EQ(define_set(s, set), SINSI_OK);
  std::vector<ref::Token> out;
  for (int guard = 0; guard < 10000000; ++guard) {
    size_t length = 99999;
    int status = -1;
    const int kind = sinsins(s, &length, &status);
    EXPECT_EQ(status, kind == SINSI_MALFORMED ? SINSI_BAD : kind == SINSI_EOF ? SINSI_END : SINSI_OK);
    char buf[SINSI_BUFSIZE + 1];
    size_t size = SINSI_BUFSIZE;
    sinsigx(s, buf, &size);
    std::string text = kind == SINSI_TEXT ? std::string(length, '.') : std::string(buf, size);
    if (kind == SINSI_TEXT) EXPECT_EQ(size, 0u) << "a counted text run keeps no bytes";
    else EXPECT_EQ(size, length);
    out.push_back({kind, text, sinsigt(s, nullptr, nullptr)});
    if (kind == SINSI_EOF) break;
  }
  sinsicl(s);
  return out;
}

// The tokens of a reader that counts text: each run of text tokens as one
// text token of "." bytes.
inline std::vector<ref::Token> text_counted(const std::vector<ref::Token>& tokens) {
  std::vector<ref::Token> out;
  for (const auto& t : tokens) {
    if (t.kind == 4 && !out.empty() && out.back().kind == 4)
      out.back().text += std::string(t.text.size(), '.');
    else if (t.kind == 4)
      out.push_back({4, std::string(t.text.size(), '.'), t.id});
    else
      out.push_back(t);
  }
  return out;
}

// Compares token lists and reports the first difference only.
inline ::testing::AssertionResult same_tokens(const std::vector<ref::Token>& got,
                                              const std::vector<ref::Token>& want) {
  size_t n = std::min(got.size(), want.size());
  size_t offset = 0;
  for (size_t i = 0; i < n; ++i) {
    if (!(got[i] == want[i]))
      return ::testing::AssertionFailure()
             << "token " << i << " at byte " << offset << ": got " << ref::describe(got[i])
             << ", want " << ref::describe(want[i]);
    offset += got[i].text.size();
  }
  if (got.size() != want.size())
    return ::testing::AssertionFailure()
           << "got " << got.size() << " tokens, want " << want.size();
  return ::testing::AssertionSuccess();
}

inline ref::DelimiterSet angle_set(std::map<std::string, int> names) {
  return ref::DelimiterSet{'<', '/', '>', std::move(names)};
}

}  // namespace harness
