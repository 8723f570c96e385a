// External-entity lookup: the escapes of SGML_PATH, the templates, the
// system identifier as a list, notations, and the entity map file in the
// current folder and under TAVREL_PATH.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "sgml/input/extid.h"
#include "sgml/parser_state.h"
#include "sgml_support.h"

namespace {

// A record as the declarations make it: a public identifier is split as a
// formal one and taken as informal when it is not.
ExternalId record(int kind, const char* name, const char* public_id = nullptr,
                  const char* system_id = nullptr, const char* notation = nullptr) {
  ExternalId r;
  r.kind = kind;
  r.name = name;
  if (public_id != nullptr) {
    r.public_id = public_id;
    if (parse_fpi(&r) != FPI_OK) r.form = -1;
  }
  if (system_id != nullptr) r.system_id = system_id;
  if (notation != nullptr) r.notation = notation;
  return r;
}

std::vector<std::string> names(const std::optional<FileList>& list) {
  std::vector<std::string> out;
  if (!list) return out;
  for (const char* p = list->c_str(); *p != '\0'; p += std::char_traits<char>::length(p) + 1) {
    out.emplace_back(p);
  }
  return out;
}

std::string expand(const ExternalId& r, char letter) {
  std::string out;
  int n = sgml_path_expand(r, letter, &out);
  if (n < 0) return "-1";
  EXPECT_EQ(static_cast<size_t>(n), out.size()) << letter;
  EXPECT_EQ(sgml_path_expand(r, letter, nullptr), n) << letter;  // measuring only
  return out;
}

TEST(PathEscapes, EachEscapeWhereItAppliesAndWhereNot) {
  parser_setup(SwitchRecord{});
  const ExternalId math = record(kExtGeneral, "Foo Bar", "-//OASIS//ENTITIES Added/Math 1//EN");
  const ExternalId html = record(kExtDoctype, "Html", "+//W3C//DTD HTML 3.2//EN//V2");
  const ExternalId charset = record(
      kExtGeneral, "cs", "ISO 646:1983//CHARSET International Reference Version (IRV)//ESC 2/5 4/0");
  const ExternalId data = record(kExtData, "Pic", nullptr, "pic.gif", "GIF Pic");
  const ExternalId subdoc = record(kExtData, "Sub", nullptr, "sub.sgm");
  const ExternalId informal = record(kExtParameter, "P", "my own text");
  const ExternalId unavailable = record(kExtGeneral, "u", "-//X//TEXT -//Gone//EN");
  const ExternalId notation = record(kExtNotation, "Tex Notation");
  struct Case {
    const ExternalId* r;
    char letter;
    const char* want;
  };
  const Case cases[] = {
      {&math, '%', "%"},
      {&math, 'N', "Foo_Bar"},  // NAMECASE ENTITY NO: kept as it is
      {&html, 'N', "html"},     // NAMECASE GENERAL YES: folded
      {&notation, 'N', "tex_notation"},
      {&math, 'D', "-1"},
      {&data, 'D', "gif_pic"},
      {&subdoc, 'D', "-1"},
      {&math, 'P', "-%%OASIS%%ENTITIES_Added%Math_1%%EN"},
      {&data, 'P', "-1"},
      {&data, 'S', "pic.gif"},
      {&math, 'S', "-1"},
      {&math, 'X', "vge"},  // formal, no version: third group
      {&html, 'X', "pdt"},  // formal with a version: second group
      {&data, 'X', "nsd"},  // no public identifier: first group
      {&informal, 'X', "spe"},  // informal: as without one
      {&notation, 'X', "-1"},
      {&data, 'Y', "data"},
      {&subdoc, 'Y', "sgml"},
      {&math, 'Y', "text"},
      {&informal, 'Y', "parm"},
      {&html, 'Y', "dtd"},
      {&notation, 'Y', "-1"},
      {&math, 'O', "OASIS"},
      {&charset, 'O', "ISO_646:1983"},
      {&informal, 'O', "-1"},
      {&math, 'C', "entities"},
      {&charset, 'C', "charset"},
      {&math, 'T', "Added%Math_1"},
      {&math, 'L', "en"},
      {&charset, 'L', "-1"},
      {&charset, 'E', "ESC_2%5_4%0"},
      {&math, 'E', "-1"},
      {&html, 'V', "V2"},
      {&math, 'V', "-1"},  // form 1
      {&charset, 'V', "-1"},
      {&math, 'A', ""},
      {&unavailable, 'A', "-1"},
      {&unavailable, 'T', "Gone"},
      {&html, 'R', ""},
      {&math, 'R', "-1"},
      {&math, 'U', ""},
      {&charset, 'U', "-1"},
      {&charset, 'I', ""},
      {&html, 'I', "-1"},
      {&math, 'Q', "-1"},
      {&math, 'n', "-1"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(expand(*c.r, c.letter), c.want) << c.r->name << " %" << c.letter;
  }
}

TEST(NameCopyCase, BlankSlashAndFolding) {
  std::string out;
  EXPECT_EQ(name_copy_case(&out, "A b/C\xC9", 6, false), 6u);
  EXPECT_EQ(out, "A_b%C\xC9");
  out.clear();
  name_copy_case(&out, "A b/C\xC9", 6, true);
  EXPECT_EQ(out, "a_b%c\xC9");  // the "C" locale folds only A to Z
}

class Lookup : public ::testing::Test {
 protected:
  void SetUp() override {
    parser_setup(SwitchRecord{});
    char* cwd = getcwd(nullptr, 0);
    old_ = cwd;
    std::free(cwd);
    ASSERT_EQ(chdir(dir_.path.c_str()), 0);
    unsetenv("TAVREL_PATH");
    unsetenv("SGML_PATH");
    sgml_path_reset();
  }
  void TearDown() override {
    unsetenv("TAVREL_PATH");
    unsetenv("SGML_PATH");
    sgml_path_reset();
    ASSERT_EQ(chdir(old_.c_str()), 0);
  }
  void path(const char* value) {
    setenv("SGML_PATH", value, 1);
    sgml_path_reset();
  }
  void file(const std::string& name, const std::string& text = "x") { write_file(name, text); }
  TempDir dir_;
  std::string old_;
};

using Names = std::vector<std::string>;

TEST_F(Lookup, DefaultPathTemplatesInOrder) {
  // /lib/sgml/%O/%C/%T finds nothing here; then %N.%X; %N.%D never applies
  // to an entity without a notation.
  ExternalId r = record(kExtGeneral, "ent", "-//X//ENTITIES Some Text//EN");
  EXPECT_EQ(names(entity_file_generate(r)), Names{});
  file("ent.vge");
  EXPECT_EQ(names(entity_file_generate(r)), Names{"ent.vge"});
  // A document type without identifiers: its folded name and "dtd".
  ExternalId doctype = record(kExtDoctype, "LINUXDOC");
  EXPECT_EQ(names(entity_file_generate(doctype)), Names{});
  file("linuxdoc.dtd");
  EXPECT_EQ(names(entity_file_generate(doctype)), Names{"linuxdoc.dtd"});
  // With a system identifier and no %S in the path: the identifier itself,
  // untested.
  ExternalId sys = record(kExtGeneral, "e", nullptr, "no/such/file");
  EXPECT_EQ(names(entity_file_generate(sys)), Names{"no/such/file"});
}

TEST_F(Lookup, SystemIdentifierLists) {
  ExternalId two = record(kExtGeneral, "e", nullptr, "a.ent::b\nc\r.ent:");
  EXPECT_EQ(names(entity_file_generate(two)), (Names{"a.ent", "bc\n.ent"}));
  path("%S.sgm");
  ExternalId doc = record(kExtGeneral, "e", nullptr, "doc");
  EXPECT_EQ(names(entity_file_generate(doc)), Names{});
  file("doc.sgm");
  EXPECT_EQ(names(entity_file_generate(doc)), Names{"doc.sgm"});
  // With ':' the identifier is the list even under a %S path.
  EXPECT_EQ(names(entity_file_generate(two)), (Names{"a.ent", "bc\n.ent"}));
  // An empty system identifier: an empty list, which the open reports.
  ExternalId empty = record(kExtGeneral, "e", nullptr, "");
  path("%N");
  auto list = entity_file_generate(empty);
  ASSERT_TRUE(list.has_value());
  EXPECT_EQ(*list, std::string(1, '\0'));
}

TEST_F(Lookup, TemplatesThatFailOrAreEmptyAreSkipped) {
  file("e.text");
  file("%");
  path("%R/x:%D:%:%A%I%U:%N%:%N.%Y");
  ExternalId r = record(kExtGeneral, "e", "-//X//TEXT t//EN");
  // %R fails (owner "-"), %D fails, a lone "%" fails, "%A%I%U" is empty,
  // "%N%" ends in "%", then e.text.
  EXPECT_EQ(names(entity_file_generate(r)), Names{"e.text"});
  path("%%");
  EXPECT_EQ(names(entity_file_generate(r)), Names{"%"});
}

TEST_F(Lookup, Notations) {
  path("%N");
  file("tex");
  ExternalId sys = record(kExtNotation, "TeX", "-//X//NOTATION TeX//EN", "tex.exe");
  EXPECT_EQ(names(entity_file_generate(sys)), (Names{"tex.exe", "-//X//NOTATION TeX//EN"}));
  ExternalId name_only = record(kExtNotation, "TeX Note", "-//X//NOTATION TeX//EN");
  EXPECT_EQ(names(entity_file_generate(name_only)), (Names{"tex_note", "-//X//NOTATION TeX//EN"}));
  ExternalId bare = record(kExtNotation, "GIF");
  EXPECT_EQ(names(entity_file_generate(bare)), Names{"gif"});
  // The map is looked at first, for notations too.
  file("gif.txt");
  file("sgmlentity.map", "gif.txt \"-//X//NOTATION GIF//EN\"\n");
  ExternalId mapped = record(kExtNotation, "GIF", "-//X//NOTATION GIF//EN");
  EXPECT_EQ(names(entity_file_generate(mapped)), Names{"./gif.txt"});
}

TEST_F(Lookup, MapInTheCurrentFolder) {
  file("one.ent");
  file("two.ent");
  const std::string id = "-//X//ENTITIES One//EN";
  std::string long_tail(5000, 'z');
  file("sgmlentity.map",
       "# one.ent \"" + id + "\"\n"
       "one.ent\n"
       "missing.ent \"" + id + "\"\n"
       "two.ent \"" + id + "\" " + long_tail + "\n");
  EXPECT_EQ(names(entity_map_lookup(id)), Names{"./two.ent"});
  EXPECT_EQ(names(entity_map_lookup("-//X//ENTITIES None//EN")), Names{});
  // The system identifier is looked up when there is one, else the public.
  ExternalId r = record(kExtGeneral, "e", id.c_str());
  EXPECT_EQ(names(entity_file_generate(r)), Names{"./two.ent"});
}

TEST_F(Lookup, LongLineTailNeverMatches) {
  file("tail.ent");
  file("head.ent");
  // Past byte 511 of one line stand two fields that would fit if the tail
  // were taken as a line of its own.
  std::string line = "head.ent first " + std::string(600, 'x') + " tail.ent ID\n";
  file("sgmlentity.map", line);
  EXPECT_EQ(names(entity_map_lookup("ID")), Names{});
  EXPECT_EQ(names(entity_map_lookup("first")), Names{"./head.ent"});
}

TEST_F(Lookup, MapUnderTavrelPath) {
  ASSERT_EQ(mkdir("maps", 0755), 0);
  file("maps/a.ent");
  file("maps/abs.ent");
  file("maps/sgmlentity.map", "a.ent A\n/abs.ent ABS\n");
  EXPECT_EQ(names(entity_map_lookup("A")), Names{});
  setenv("TAVREL_PATH", "maps", 1);
  EXPECT_EQ(names(entity_map_lookup("A")), Names{"maps/a.ent"});
  // A first field starting with '/' is still taken in the map's folder.
  EXPECT_EQ(names(entity_map_lookup("ABS")), Names{"maps//abs.ent"});
  // A map in the current folder that does not hold the identifier.
  file("a.ent");
  file("sgmlentity.map", "a.ent OTHER\n");
  EXPECT_EQ(names(entity_map_lookup("A")), Names{"maps/a.ent"});
  EXPECT_EQ(names(entity_map_lookup("OTHER")), Names{"./a.ent"});
}

}  // namespace
