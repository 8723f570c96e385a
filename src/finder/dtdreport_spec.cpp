// The style specification: six font declarations, the standard
// specification with a tag entry for each element's start and end tag
// (indented below the document element), and the tag-view specification.
// Every line break is the one at the start of a piece.
#include <string_view>
#include <unordered_map>
#include <vector>

#include "finder/dtdreport.h"
#include "finder/dtdreport_internal.h"
#include "io/vqio.h"

namespace {

struct FontEntry {
  const char* name;
  const char* type;
  const char* size;
};

const FontEntry kFonts[] = {
    {"\n\t<Name>-adobe-times-medium-r-normal--14-*</Name>", "\n\t<Type>Roman</Type>", "\n\t<Size>14</Size>"},
    {"\n\t<Name>-adobe-times-medium-r-normal--12-*</Name>", "\n\t<Type>Roman</Type>", "\n\t<Size>12</Size>"},
    {"\n\t<Name>-adobe-times-bold-r-normal--14-*</Name>", "\n\t<Type>Bold</Type>", "\n\t<Size>14</Size>"},
    {"\n\t<Name>-adobe-times-bold-r-normal--12-*</Name>", "\n\t<Type>Bold</Type>", "\n\t<Size>12</Size>"},
    {"\n\t<Name>-adobe-times-medium-i-normal--14-*</Name>", "\n\t<Type>Italic</Type>", "\n\t<Size>14</Size>"},
    {"\n\t<Name>-adobe-times-medium-i-normal--12-*</Name>", "\n\t<Type>Italic</Type>", "\n\t<Size>12</Size>"},
};

const char kTabs[] = "\n\t<Tabs>3 6 9 12 15 18 21 24 27 30 33 36 39 42 45</Tabs>";

void put(const char* piece) { vqio_fputs(piece, vqio_stdout); }

void write_fonts() {
  put("\n# Font declarations");
  put("\n#");
  for (const FontEntry& f : kFonts) {
    put("\n<Font>");
    put(f.name);
    put("\n\t<Family>Times</Family>");
    put(f.type);
    put(f.size);
    put("\n</Font>");
  }
  put("\n");
}

// The two tag entries of each element (its start and its end tag). With
// depths, an element two or more levels down is indented by its tags.
void write_tags(const std::vector<const char*>& elements,
                const std::unordered_map<std::string_view, int32_t>* depths) {
  for (const char* e : elements) {
    bool indent = false;
    if (depths != nullptr) {
      auto found = depths->find(e);
      indent = found != depths->end() && found->second >= 2;
    }
    put("\n\t<Tag><Name>");
    put(e);
    put("</Name>");
    if (indent) put("\n\t\t<Indent>+1</Indent>");
    put("\n\t\t<BlankLines>0</BlankLines>");
    put("\n\t</Tag>");
    put("\n\t<Tag><Name>");
    put("/");
    put(e);
    put("</Name>");
    if (indent) put("\n\t\t<Indent>-1</Indent>");
    put("\n\t</Tag>");
  }
}

}  // namespace

void spec_mode() {
  const std::vector<const char*> elements = listed_elements();
  std::vector<const char*> names(kDtdElementLimit);
  std::vector<int32_t> depths(kDtdElementLimit);
  int levels = 0;
  element_levels(kDtdElementLimit, &levels, names.data(), depths.data());
  std::unordered_map<std::string_view, int32_t> depth_of;
  depth_of.reserve(static_cast<size_t>(levels));
  for (int i = 0; i < levels; ++i) depth_of.emplace(names[i], depths[i]);

  write_fonts();

  put("\n# Default Specification");
  put("\n#");
  put("\n<Spec>");
  put("\n\t<Name>Standard</Name>");
  put("\n\t<Family>Times</Family>");
  put("\n\t<Type>Roman</Type>");
  put("\n\t<Size>14</Size>");
  put("\n\t<PrText>on</PrText>");
  put("\n\t<PrTag>off</PrTag>");
  put("\n\t<PrUndef>off</PrUndef>");
  put(kTabs);
  put("\n");
  write_tags(elements, &depth_of);
  put("\n</Spec>");

  put("\n# View Tags Default Specification");
  put("\n#");
  put("\n<Spec>");
  put("\n\t<Name>View Tags</Name>");
  put("\n\t<Family>Times</Family>");
  put("\n\t<Type>Roman</Type>");
  put("\n\t<Size>14</Size>");
  put("\n\t<PrText>on</PrText>");
  put("\n\t<PrTag>on</PrTag>");
  put("\n\t<PrUndef>on</PrUndef>");
  put("\n\t<TagFormat>");
  put("\n\t\t<Size>12</Size>");
  put("\n\t\t<Colour>ForestGreen</Colour>");
  put("\n\t\t<Highlight>on</Highlight>");
  put("\n\t</TagFormat>");
  put(kTabs);
  put("\n");
  write_tags(elements, nullptr);
  put("\n</Spec>");
  put("\n");
}
