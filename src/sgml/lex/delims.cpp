// The delimiter table that sgml_set_switches hands to the region finder,
// which writes markup back with it.
#include "sgml/decl/prolog.h"
#include "sgml/parser_state.h"
#include "sgml/switches.h"

namespace {

#define COUNTED(text) reinterpret_cast<const unsigned char*>(text)

DelimiterTable build() {
  DelimiterTable t{};
  t.cro = COUNTED("\004&#");
  t.dso = "[";
  t.ero = COUNTED("\003&");
  t.etago = COUNTED("\004</");
  t.lit = COUNTED("\003\"");
  t.lita = COUNTED("\003'");
  t.mdc = COUNTED("\003>");
  t.mdo = COUNTED("\004<!");
  t.msc_mdc = COUNTED("\005]]>");
  t.ms_start = COUNTED("\005<![");
  t.ms_cdata = COUNTED("\013<![CDATA[");
  t.ms_rcdata = COUNTED("\014<![RCDATA[");
  t.pic = COUNTED("\003>");
  t.pio = COUNTED("\004<?");
  t.refc = COUNTED("\003;");
  t.stago = COUNTED("\003<");
  t.tagc = COUNTED("\003>");
  t.vi = COUNTED("\003=");
  t.fixed_word_3 = 3;
  t.fixed_word_2 = 2;
  t.shortref_head = "";
  t.shortref_size = 32;
  t.shortref_count = 32;
  for (int i = 1; i <= 32; ++i) t.shortrefs[i - 1] = ShortRefDelimiter{ShortRefDelims[i], i};
  t.shortrefs[32] = ShortRefDelimiter{nullptr, 0};
  return t;
}

}  // namespace

const DelimiterTable* sgml_delimiter_table() {
  static const DelimiterTable table = build();
  return &table;
}
