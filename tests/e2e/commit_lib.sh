# Helpers of the commit end-to-end cases (sourced by their cmd files). They
# start few processes: the cases call them once per run.
. "$(dirname "${BASH_SOURCE[0]}")/tavrel_region_lib.sh"
shopt -s nullglob dotglob

# The work files of runs in a folder (new files, second names, journals,
# temporary records, tag position and counts files), on one line.
leftovers() {
  local d=$1 f
  for f in "$d"/*.new "$d"/*.old "$d"/*.journal "$d"/TAG[0-9]* "$d"/tagint.* "$d"/tagcounts.*; do
    printf '%s ' "${f#"$d"/}"
  done
}

# Copies the files named from folder $1 to folder $2 (made anew).
copy_state() {
  rm -rf "$2"
  mkdir "$2"
  local f
  for f in "$1"/*; do cp "$f" "$2/"; done
}

# Whether folder $1 holds the same files as folder $2, among those named
# (data dictionaries compared with their dates taken out; a file in
# neither counts as the same).
same_state() {
  local a=$1 b=$2 f; shift 2
  for f in "$@"; do
    [ -e "$a/$f" ] || [ -e "$b/$f" ] || continue  # in neither
    case $f in
      *.dd) cmp -s <(normalise_dd "$a/$f") <(normalise_dd "$b/$f") || return 1 ;;
      *) cmp -s "$a/$f" "$b/$f" || return 1 ;;
    esac
  done
}

# Every Region entry of the data dictionary lies inside its region file, and
# each region file ends where its last region does: prints the faults.
regions_describe_files() {
  local dir
  dir=$(dirname "$1")
  awk -v dir="$dir" '
    /<Region>/ { file = offset = count = "" }
    /<SysName>/ { gsub(/.*<SysName>|<\/SysName>.*/, ""); file = $0 }
    /<Offset>/ { gsub(/.*<Offset>|<\/Offset>.*/, ""); offset = $0 }
    /<Count>/ { gsub(/.*<Count>|<\/Count>.*/, ""); count = $0 }
    /<\/Region>/ { e = 512 + offset + 4 * count; if (e > end[file]) end[file] = e }
    END {
      for (f in end) {
        size = -1
        cmd = "stat -c %s \"" dir "/" f "\" 2>/dev/null"
        cmd | getline size
        close(cmd)
        if (size != end[f]) print f ": " size " bytes, regions end at " end[f]
      }
    }' "$1"
}
