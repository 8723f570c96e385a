# Helpers of the end-to-end cases that keep files as superfile members
# (sourced by their cmd files): a writer and a reader of superfiles, written
# from the file format, independent of the I/O layer.
#
# Format: a 16-byte header {magic 1234567, directory offset, members, end of
# data} in a 1024-byte first block; member data from byte 1024; directory
# blocks of 1088 bytes at the end of data: {next block or 0, entries used,
# 10 entries of 108 bytes: name (80 bytes, NUL-terminated), reserved, data
# offset from byte 1024, size, capacity, three time stamps}. 32-bit words in
# the machine's byte order (little-endian here).

# le32: the 32-bit words of the region-file helpers.
. "$(dirname "${BASH_SOURCE[0]}")/pellion_lib.sh"

# sf_make NAME FILE CAPACITY ...: a superfile on stdout holding each FILE as
# member NAME in CAPACITY bytes, one after another from byte 1024, with one
# directory block after the data (at most 10 members); time stamps 0.
sf_make() {
  local args=("$@") n=$(( $# / 3 )) i off=0 eod=1024 size
  for (( i = 0; i < n; i++ )); do eod=$(( eod + args[3*i+2] )); done
  le32 1234567 "$eod" "$n" "$eod"
  head -c 1008 /dev/zero
  for (( i = 0; i < n; i++ )); do
    size=$(wc -c < "${args[3*i+1]}")
    cat "${args[3*i+1]}"
    head -c $(( args[3*i+2] - size )) /dev/zero
  done
  le32 0 "$n"
  for (( i = 0; i < n; i++ )); do
    size=$(wc -c < "${args[3*i+1]}")
    printf '%s' "${args[3*i]}"
    head -c $(( 80 - ${#args[3*i]} )) /dev/zero
    le32 0 "$off" "$size" "${args[3*i+2]}" 0 0 0
    off=$(( off + args[3*i+2] ))
  done
  head -c $(( (10 - n) * 108 )) /dev/zero
}

# sf_word FILE OFFSET: the signed 32-bit word at OFFSET.
sf_word() { od -An -t d4 -j "$2" -N 4 "$1" | tr -d ' '; }

# sf_get SUPERFILE NAME: the member's bytes on stdout; status 1 when the
# directory has no member of that name.
sf_get() {
  local f=$1 block used i e name
  block=$(sf_word "$f" 4)
  while [ "$block" -ne 0 ]; do
    used=$(sf_word "$f" $(( block + 4 )))
    for (( i = 0; i < used; i++ )); do
      e=$(( block + 8 + 108 * i ))
      name=$(dd if="$f" bs=1 skip="$e" count=80 2>/dev/null | tr -d '\0')
      if [ "$name" = "$2" ]; then
        tail -c +$(( 1024 + $(sf_word "$f" $(( e + 84 ))) + 1 )) "$f" |
          head -c "$(sf_word "$f" $(( e + 88 )))"
        return 0
      fi
    done
    block=$(sf_word "$f" "$block")
  done
  return 1
}
