// Stop-word mask rows, the classifier record and its hash.
#include <algorithm>

#include "msg/msg.h"
#include "pitcl/pitcl.h"

int pitcl_stop_masks(const std::vector<std::string>& words, std::vector<MaskRow>* rows) {
  rows->clear();
  if (words.size() > PITCL_MAX_STOP_WORDS) {
    vq_report(9, GetMsgNumText(150001));
    return 9;
  }
  size_t longest = 0;
  for (const std::string& w : words) longest = std::max(longest, w.size());
  rows->assign(longest + 1, MaskRow{});
  for (size_t k = 0; k < words.size(); ++k) {
    const uint32_t bit = 1u << k;
    const std::string& w = words[k];
    for (size_t i = 0; i < w.size(); ++i) (*rows)[i][static_cast<unsigned char>(w[i])] |= bit;
    (*rows)[w.size()][' '] |= bit;
  }
  (*rows)[0][' '] = 0xFFFFFFFFu;
  return 0;
}

Classifier* pitclbc(const unsigned char map[256], const std::vector<std::string>& stop_words,
                    const std::vector<std::string>* definitions) {
  auto* classifier = new Classifier;
  for (int i = 0; i < 256; ++i) classifier->map[i] = map[i];
  classifier->pairs.assign(65536, 0);
  if (pitcl_stop_masks(stop_words, &classifier->masks) != 0) {
    delete classifier;
    return nullptr;
  }
  if (definitions != nullptr) {
    for (const std::string& d : *definitions) {
      CharSet before, start;
      if (pitcl_parse_definition(d.c_str(), PITCL_ALPHABET, &before, &start) != 0) {
        delete classifier;
        return nullptr;
      }
      for (int p = 0; p < 256; ++p) {
        if (!before[p]) continue;
        for (int c = 0; c < 256; ++c) {
          if (start[c]) classifier->pairs[p * 256 + c] = 1;
        }
      }
    }
  }
  return classifier;
}

int32_t pitclhs(const Classifier* classifier) {
  // Unsigned arithmetic: the sums wrap modulo 2^32 by definition.
  uint32_t a = 0, b = 0, c = 0;
  for (unsigned char m : classifier->map) {
    a = a * 3277u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(m)));
  }
  for (unsigned char t : classifier->pairs) {
    b = b * 3277u + static_cast<uint32_t>(static_cast<int32_t>(static_cast<int8_t>(t)));
  }
  for (const MaskRow& row : classifier->masks) {
    for (uint32_t mask : row) c = c * 3277u + mask;
  }
  return static_cast<int32_t>(b * 5941u + a * 8390u + c * 9516u);
}

void pitclfr(Classifier* classifier) { delete classifier; }
