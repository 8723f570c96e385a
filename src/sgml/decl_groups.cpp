// The groups of ELEMENT, ATTLIST and USEMAP declarations. They are read by
// the name group and content model readers; until those are part of the
// parser a group is passed over and its declaration ends (the rest of it
// is passed over by the caller).
#include "sgml/message.h"
#include "sgml/prolog.h"

bool element_group_read(std::vector<ElementTypeDef*>* out) {
  out->clear();
  md_skip_group();
  return false;
}

bool notation_group_read(std::vector<NotationRecord*>* out) {
  out->clear();
  md_skip_group();
  return false;
}

ContentModel* model_group_read() {
  md_skip_group();
  return nullptr;
}
