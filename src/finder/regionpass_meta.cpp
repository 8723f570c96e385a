// The region pass's branch for the documents of a meta-structure file: each
// selected document of the multi-file set is parsed from its data position
// and its regions recorded; 60005 when the file cannot be opened.
#include "finder/metadoc.h"
#include "finder/regions.h"

int region_meta_documents(void (*each_document)()) {
  return meta_documents(60005, each_document) ? 1 : 0;
}
