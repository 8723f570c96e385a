// The entity map file "sgmlentity.map": lines of whitespace-separated
// fields ('"' quotes a field); a line whose second field is the identifier
// names, in its first field, the file that holds the text, relative to the
// map's folder. Lines beginning with '#' and lines of one field are
// skipped; a fitting line whose file cannot be read does not end the
// search. Lines are read whole, whatever their length.
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "io/vqio.h"
#include "sgml/input/extid.h"
#include "util/util.h"

namespace {

constexpr const char kMapName[] = "sgmlentity.map";

// Reads one whole line (without its newline) into line: false at the end.
bool read_line(VqStream* s, std::string* line) {
  line->clear();
  int c;
  bool any = false;
  while ((c = vqio_getc(s)) != EOF) {
    any = true;
    if (c == '\n') return true;
    line->push_back(static_cast<char>(c));
  }
  return any;
}

// Searches one map; dir is the folder the files are relative to (null:
// none). The map is closed in every case.
std::optional<FileList> search_map(VqStream* map, const char* dir, const std::string& id) {
  std::string line;
  std::vector<char*> fields;
  while (read_line(map, &line)) {
    fields.clear();
    if (split_fields(line.data(), " \t\n", "\"", nullptr, fields) < 2) continue;
    if (fields[0][0] == '#') continue;
    if (id != fields[1]) continue;
    std::string file = dir != nullptr ? std::string(dir) + "/" + fields[0] : fields[0];
    if (vqio_access(file.c_str(), R_OK) == 0) {
      vqio_fclose(map);
      file.append(2, '\0');  // the name, then the empty name
      return file;
    }
  }
  vqio_fclose(map);
  return std::nullopt;
}

}  // namespace

std::optional<FileList> entity_map_lookup(const std::string& identifier) {
  std::string local = std::string(".") + "/" + kMapName;
  if (VqStream* map = vqio_fopen(local.c_str(), "r")) {
    if (auto found = search_map(map, ".", identifier)) return found;
  }
  const char* path = std::getenv("TAVREL_PATH");
  if (path != nullptr) {
    std::string name = std::string(path) + "/" + kMapName;
    if (VqStream* map = vqio_fopen(name.c_str(), "r")) return search_map(map, path, identifier);
  } else if (VqStream* map = vqio_fopen(kMapName, "r")) {
    return search_map(map, nullptr, identifier);
  }
  return std::nullopt;
}
