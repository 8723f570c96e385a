// The region pass's branch for the documents of a meta-structure file. Not
// built yet: the pass reads the document as it is.
#include "finder/regions.h"

int region_meta_documents(void (*each_document)()) {
  (void)each_document;
  return 0;
}
