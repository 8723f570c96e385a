#!/usr/bin/env bash
# Runs one end-to-end case against the real programs.
#
# A case is a folder holding:
#   cmd              shell commands, run in a fresh work folder; the programs
#                    are $VEXABLD, $TAVREL and $PELLION, the parser's test
#                    driver is $SGML_DRIVER, fixtures are under $FIXTURES;
#                    $VEXABLD_FAULTS, $TAVREL_FAULTS and $PELLION_FAULTS are
#                    the programs with the commit's fault points
#                    (src/commit/fault.cpp)
#   input/           (optional) copied into the work folder first
#   expect/status    (optional) expected exit status of cmd, default 0
#   expect/stdout    (optional) expected standard output, byte for byte
#   expect/stderr    (optional) expected standard error, byte for byte
#   expect/files/    (optional) files the work folder must hold, byte for byte
#   expect/absent    (optional) names, one a line, that must not exist after
set -u
case_dir=$1
bin_dir=$2
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/vqe2e.XXXXXX")
trap 'rm -rf "$work"' EXIT

export VEXABLD="$bin_dir/vexabld" TAVREL="$bin_dir/tavrel" PELLION="$bin_dir/pellion"
export SGML_DRIVER="$bin_dir/sgml_driver"
export VEXABLD_FAULTS="$bin_dir/vexabld_faults" TAVREL_FAULTS="$bin_dir/tavrel_faults"
export PELLION_FAULTS="$bin_dir/pellion_faults"
export FIXTURES="$here/../fixtures"
unset VQ_IOMAP VQ_MESSAGE_FILE

[ -d "$case_dir/input" ] && cp -R "$case_dir/input/." "$work/"
(cd "$work" && bash "$case_dir/cmd" >"$work/.stdout" 2>"$work/.stderr")
status=$?

fail=0
want_status=0
[ -f "$case_dir/expect/status" ] && want_status=$(tr -d ' \n' <"$case_dir/expect/status")
if [ "$status" != "$want_status" ]; then
  echo "exit status: got $status, want $want_status"; fail=1
fi
for s in stdout stderr; do
  if [ -f "$case_dir/expect/$s" ] && ! cmp -s "$case_dir/expect/$s" "$work/.$s"; then
    echo "$s differs:"; diff "$case_dir/expect/$s" "$work/.$s" | head -40; fail=1
  fi
done
if [ -d "$case_dir/expect/files" ]; then
  while IFS= read -r -d '' f; do
    rel=${f#"$case_dir/expect/files/"}
    if [ ! -f "$work/$rel" ]; then
      echo "missing output file: $rel"; fail=1
    elif ! cmp -s "$f" "$work/$rel"; then
      echo "file differs: $rel"; cmp "$f" "$work/$rel" | head -5; fail=1
    fi
  done < <(find "$case_dir/expect/files" -type f -print0)
fi
if [ -f "$case_dir/expect/absent" ]; then
  while IFS= read -r name; do
    [ -n "$name" ] && [ -e "$work/$name" ] && { echo "should not exist: $name"; fail=1; }
  done <"$case_dir/expect/absent"
fi
if [ $fail -ne 0 ]; then
  echo "--- stdout"; head -c 2000 "$work/.stdout"
  echo "--- stderr"; head -c 2000 "$work/.stderr"
fi
exit $fail
