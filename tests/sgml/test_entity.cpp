// Entity references: data and PI entities handed out as data, the default
// entity for undeclared general entities (never for parameter entities),
// and the messages of references that open nothing.
#include <gtest/gtest.h>

#include <string>

#include "counted_name.h"
#include "sgml/entities/entity.h"
#include "sgml/entities/settings.h"
#include "sgml/lex/lex.h"
#include "sgml/messages/message.h"
#include "sgml/sgml.h"
#include "sgml/entities/tables.h"
#include "sgml/parser_state.h"
#include "sgml_support.h"
#include "support/stderr_capture.h"

namespace {

class EntityReferences : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    SwitchRecord sw;
    sw.program_name = nullptr;
    sw.default_entity_warnings = 1;
    parser_setup(sw);
    sgml_raise_limits();
  }
  void TearDown() override {
    parser_teardown();
    ScratchDir::TearDown();
  }
  EntityRecord* define(const std::string& name, int type, const std::string& text) {
    return entdef(counted(name).data(), type, reinterpret_cast<const unsigned char*>(text.data()),
                  static_cast<int32_t>(text.size()));
  }
  // The characters of the innermost entity up to its end.
  std::string read_all() {
    std::string out;
    for (;;) {
      int code = lex_engine(&pcb_litc);
      if (code != LIT_DATA) break;
      out += static_cast<char>(lex_current_char());
    }
    return out;
  }
};

TEST_F(EntityReferences, DataAndPiEntitiesComeBackAsData) {
  define("*DOC", ENT_TEXT, "");
  ASSERT_EQ(entopen(entfind(counted("*DOC").data())), 0);
  struct Case {
    const char* name;
    int type;
    EntityOpen result;
    int flags;
  };
  const Case cases[] = {{"s", ENT_SDATA, ENTITY_DATA, DATA_SDATA},
                        {"c", ENT_CDATA, ENTITY_DATA, DATA_NO_RESCAN},
                        {"p", ENT_PI, ENTITY_PI, DATA_SDATA}};
  for (const Case& k : cases) {
    define(k.name, k.type, "text");
    EXPECT_EQ(entity_reference(counted(k.name).data()), k.result) << k.name;
    EXPECT_EQ(lex_data.flags, k.flags) << k.name;
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(lex_data.text), lex_data.length), "text");
    EXPECT_EQ(entity_stack.level, 0);  // nothing was opened
  }
}

TEST_F(EntityReferences, TheDefaultEntityServesUndeclaredGeneralEntitiesOnly) {
  define("*DOC", ENT_TEXT, "");
  ASSERT_EQ(entopen(entfind(counted("*DOC").data())), 0);
  std::string err = stderr_of(dir_, [&] {
    // P35: no default yet.
    EXPECT_EQ(entity_reference(counted("nodefault").data()), ENTITY_IGNORED);
    entity_stack.default_entity = define("#DEFAULT", ENT_TEXT, "dflt");
    EXPECT_EQ(entity_reference(counted("undeclared").data()), ENTITY_OPENED);  // P45 (with -r)
    EXPECT_EQ(read_all(), "dflt");
    EXPECT_EQ(entity_reference(counted("%param").data()), ENTITY_IGNORED);  // P35
  });
  EXPECT_NE(err.find("No declaration for entity \"nodefault\"; reference ignored"),
            std::string::npos);
  EXPECT_NE(err.find("No declaration for entity \"undeclared\"; default definition used"),
            std::string::npos);
  EXPECT_NE(err.find("No declaration for entity \"%param\"; reference ignored"), std::string::npos);
  EntityRecord* made = entfind(counted("undeclared").data());
  ASSERT_NE(made, nullptr);
  EXPECT_EQ(made->defaulted, 1);
  EXPECT_EQ(error_count(), 2);  // P45 is information only
}

TEST_F(EntityReferences, DataEntitiesCheckTheirNotationAndTheSubdocumentLimit) {
  define("*DOC", ENT_TEXT, "");
  ASSERT_EQ(entopen(entfind(counted("*DOC").data())), 0);
  NotationRecord* undeclared = notation_define(counted("PNG").data());
  NotationRecord* declared = notation_define(counted("GIF").data());
  static char identifiers[] = "gif.exe\0";
  declared->identifiers = identifiers;
  auto data_entity = [&](const char* name, NotationRecord* notation, int kind) {
    auto* data = static_cast<DataEntity*>(sgml_calloc(sizeof(DataEntity)));
    data->notation = notation;
    data->kind = static_cast<unsigned char>(kind);
    data->name = save_name(counted(name).data());
    return entdef(counted(name).data(), ENT_DATA, reinterpret_cast<unsigned char*>(data), 0);
  };
  EntityRecord* pic = data_entity("pic", undeclared, 2);
  data_entity("logo", declared, 2);
  data_entity("sub", nullptr, 4);
  const int32_t limit = sgml_settings().subdoc;
  std::string err = stderr_of(dir_, [&] {
    // P78, and the data all the same.
    EXPECT_EQ(entity_reference(counted("pic").data()), ENTITY_DATA);
    EXPECT_EQ(lex_data.text, pic->text);
    EXPECT_EQ(lex_data.flags, DATA_EXTERNAL);
    EXPECT_EQ(entity_reference(counted("logo").data()), ENTITY_DATA);
    EXPECT_EQ(entity_reference(counted("sub").data()), ENTITY_DATA);  // below the limit
    sgml_settings().subdoc = sgml_switches().subdoc_levels;
    EXPECT_EQ(entity_reference(counted("sub").data()), ENTITY_IGNORED);  // P188: dropped
  });
  sgml_settings().subdoc = limit;
  EXPECT_NE(err.find("Entity \"pic\" has undefined notation \"PNG\"\n"), std::string::npos);
  EXPECT_NE(err.find("Too many open subdocument entities\n"), std::string::npos);
  EXPECT_EQ(error_count(), 2);  // nothing for logo, nor for sub below the limit
  EXPECT_EQ(entity_stack.level, 0);
}

}  // namespace
