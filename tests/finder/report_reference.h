// Expected texts of the DTD reports, worked from the rules independently
// of the code under test: padding, the element table's hash and walk
// order, the utilities' quicksort step by step, the level lines and the
// style specification's fixed text.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

// name padded with blanks to width (the reports' "%-Ns").
inline std::string padded(const std::string& name, size_t width) {
  return name.size() >= width ? name : name + std::string(width - name.size(), ' ');
}

// The bucket of an element name as the table's hash gives it, worked
// independently: over the counted name (length byte = characters + 2, then
// the characters), h = h * 16 + c, the top nibble folded back and cleared.
inline int reference_bucket(const std::string& name) {
  std::vector<unsigned char> bytes;
  bytes.push_back(static_cast<unsigned char>(name.size() + 2));
  bytes.insert(bytes.end(), name.begin(), name.end());
  uint64_t h = 0;
  for (unsigned char c : bytes) {
    h = ((h << 4) + c) & 0xFFFFFFFFull;
    const uint64_t top = h >> 28;
    if (top != 0) h = (h ^ (top << 4)) & 0x0FFFFFFFull;
  }
  return static_cast<int>(h % 211);
}

// The walk order of the element table: buckets 0 to 210, and in a bucket
// the name defined last first. defined: names in the order the parser
// first met them.
inline std::vector<std::string> walk_order(const std::vector<std::string>& defined) {
  std::vector<std::string> out;
  for (int b = 0; b < 211; ++b)
    for (auto it = defined.rbegin(); it != defined.rend(); ++it)
      if (reference_bucket(*it) == b) out.push_back(*it);
  return out;
}

// The quicksort of the utilities, step by step as the format describes it:
// the pivot is the key standing at lo at each comparison.
inline void reference_sort(std::vector<std::pair<std::string, int>>& a, int lo, int hi) {
  int i = lo, j = hi;
  for (;;) {
    while (a[i].second < a[lo].second && i < hi) ++i;
    while (a[lo].second < a[j].second && j > lo) --j;
    if (i > j) break;
    std::swap(a[i], a[j]);
    ++i;
    --j;
    if (i > j) break;
  }
  if (lo < j) reference_sort(a, lo, j);
  if (i < hi) reference_sort(a, i, hi);
}

// The level report expected for names with their depths, given in walk order.
inline std::string level_text(std::vector<std::pair<std::string, int>> walk) {
  if (!walk.empty()) reference_sort(walk, 0, static_cast<int>(walk.size()) - 1);
  std::string out;
  for (const auto& [name, depth] : walk) {
    if (name == "*DOC") continue;
    char line[300];
    std::snprintf(line, sizeof line, "%-20s level %2d\n", name.c_str(), depth);
    out += line;
  }
  return out;
}

// The style specification's fixed text around the tag entries: the font
// block and the head of the standard specification, then (after its tag
// entries) the head of the tag-view specification, then its end.
inline constexpr char kSpecFonts[] =
    "\n# Font declarations\n#"
    "\n<Font>\n\t<Name>-adobe-times-medium-r-normal--14-*</Name>\n\t<Family>Times</Family>"
    "\n\t<Type>Roman</Type>\n\t<Size>14</Size>\n</Font>"
    "\n<Font>\n\t<Name>-adobe-times-medium-r-normal--12-*</Name>\n\t<Family>Times</Family>"
    "\n\t<Type>Roman</Type>\n\t<Size>12</Size>\n</Font>"
    "\n<Font>\n\t<Name>-adobe-times-bold-r-normal--14-*</Name>\n\t<Family>Times</Family>"
    "\n\t<Type>Bold</Type>\n\t<Size>14</Size>\n</Font>"
    "\n<Font>\n\t<Name>-adobe-times-bold-r-normal--12-*</Name>\n\t<Family>Times</Family>"
    "\n\t<Type>Bold</Type>\n\t<Size>12</Size>\n</Font>"
    "\n<Font>\n\t<Name>-adobe-times-medium-i-normal--14-*</Name>\n\t<Family>Times</Family>"
    "\n\t<Type>Italic</Type>\n\t<Size>14</Size>\n</Font>"
    "\n<Font>\n\t<Name>-adobe-times-medium-i-normal--12-*</Name>\n\t<Family>Times</Family>"
    "\n\t<Type>Italic</Type>\n\t<Size>12</Size>\n</Font>"
    "\n"
    "\n# Default Specification\n#\n<Spec>\n\t<Name>Standard</Name>\n\t<Family>Times</Family>"
    "\n\t<Type>Roman</Type>\n\t<Size>14</Size>\n\t<PrText>on</PrText>\n\t<PrTag>off</PrTag>"
    "\n\t<PrUndef>off</PrUndef>\n\t<Tabs>3 6 9 12 15 18 21 24 27 30 33 36 39 42 45</Tabs>\n";
inline constexpr char kSpecViewHead[] =
    "\n</Spec>"
    "\n# View Tags Default Specification\n#\n<Spec>\n\t<Name>View Tags</Name>"
    "\n\t<Family>Times</Family>\n\t<Type>Roman</Type>\n\t<Size>14</Size>\n\t<PrText>on</PrText>"
    "\n\t<PrTag>on</PrTag>\n\t<PrUndef>on</PrUndef>\n\t<TagFormat>\n\t\t<Size>12</Size>"
    "\n\t\t<Colour>ForestGreen</Colour>\n\t\t<Highlight>on</Highlight>\n\t</TagFormat>"
    "\n\t<Tabs>3 6 9 12 15 18 21 24 27 30 33 36 39 42 45</Tabs>\n";
inline constexpr char kSpecEnd[] = "\n</Spec>\n";

// The style specification of elements given in name order with whether
// their depth is 2 or more.
inline std::string spec_text(const std::vector<std::pair<std::string, bool>>& elements) {
  std::string out = kSpecFonts;
  for (const auto& [e, deep] : elements) {
    out += "\n\t<Tag><Name>" + e + "</Name>";
    if (deep) out += "\n\t\t<Indent>+1</Indent>";
    out += "\n\t\t<BlankLines>0</BlankLines>\n\t</Tag>\n\t<Tag><Name>/" + e + "</Name>";
    if (deep) out += "\n\t\t<Indent>-1</Indent>";
    out += "\n\t</Tag>";
  }
  out += kSpecViewHead;
  for (const auto& [e, deep] : elements)
    out += "\n\t<Tag><Name>" + e + "</Name>\n\t\t<BlankLines>0</BlankLines>\n\t</Tag>" +
           "\n\t<Tag><Name>/" + e + "</Name>\n\t</Tag>";
  return out + kSpecEnd;
}

