# Helpers of the tavrel region-mode end-to-end cases (sourced by their cmd
# files): those of the pellion cases, and a listing of Region entries.
. "$(dirname "${BASH_SOURCE[0]}")/pellion_lib.sh"

# The Region entries of a data dictionary in file order, one line each:
# name, region file, offset, count.
dd_regions() {
  awk '/<Region>/ { name = file = offset = count = "" }
       /<Name>/ { gsub(/.*<Name>|<\/Name>.*/, ""); name = $0 }
       /<SysName>/ { gsub(/.*<SysName>|<\/SysName>.*/, ""); file = $0 }
       /<Offset>/ { gsub(/.*<Offset>|<\/Offset>.*/, ""); offset = $0 }
       /<Count>/ { gsub(/.*<Count>|<\/Count>.*/, ""); count = $0 }
       /<\/Region>/ { print name, file, offset, count }' "$1"
}

# An empty data dictionary.
empty_dd() { printf '<DB>\n</DB>\n' > "$1"; }

# The pairs of the region of that name, one "start end" line each: its
# region file (a relative name taken from the data dictionary's folder),
# Offset and Count from the data dictionary, the words from the region
# file.
region_pairs() {
  local file offset count
  read -r file offset count < <(dd_regions "$1" | awk -v n="$2" '$1 == n { print $2, $3, $4 }')
  [ -n "$file" ] || return 0
  case $file in /*) ;; *) file=$(dirname "$1")/$file ;; esac
  od -An -v -t d4 -j $(( 512 + offset )) -N $(( 4 * count )) "$file" | tr -s ' ' '\n' |
    sed '/^$/d' | paste -d ' ' - -
}
