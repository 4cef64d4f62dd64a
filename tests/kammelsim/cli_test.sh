#!/usr/bin/env bash
# The kammelsim executable as a script would call it: exit statuses and what lands where.
set -u
kammelsim=$1
fail() { echo "FAIL: $*"; exit 1; }

out=$("$kammelsim" bed --length 0 2>/tmp/kammelsim_err.$$); status=$?
[ "$status" -eq 2 ] || fail "bad length gave status $status"
[ -z "$out" ] || fail "bad length wrote to stdout"
grep -q -- '--length takes an integer in 1..999' /tmp/kammelsim_err.$$ || fail "no message"
rm -f /tmp/kammelsim_err.$$

lines=$("$kammelsim" bed --seed 9 --length 12 --width 3 2>/dev/null | wc -l)
[ "$lines" -eq 13 ] || fail "expected 13 rows, got $lines"
a=$("$kammelsim" bed --seed 9 --batches 3 2>&1)
b=$("$kammelsim" bed --seed 9 --batches 3 2>&1)
[ "$a" = "$b" ] || fail "same command line, different output"

"$kammelsim" --help | grep -q '^usage: kammelsim bed' || fail "no usage"
echo ok
