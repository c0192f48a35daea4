# Checks for the end-to-end tests written as shell scripts: "ok - ..." and "not ok - ..." lines,
# the counts for the script's closing "N passed, M failed", and the registry read through
# reg.exe. Sourced after wine-env.sh, once tz_reg_view_of (or TZ_REG_BITS) has chosen the view.
passed=0
failed=0
ok() { echo "ok - $*"; passed=$((passed + 1)); }
bad() { echo "not ok - $*"; failed=$((failed + 1)); }
check() {  # check DESCRIPTION EXPECTED ACTUAL
  if [ "$2" = "$3" ]; then ok "$1"; else bad "$1: expected [$2], got [$3]"; fi
}
# reg.exe in the chosen view: its output without carriage returns, and its exit code.
reg_view() {
  local out rc
  out=$(tz_reg "$@" </dev/null 2>/dev/null)
  rc=$?
  [ -n "$out" ] && printf '%s\n' "$out" | tr -d '\r'
  return $rc
}
regval() {  # regval KEY VALUE -> the data, or "(missing)"
  local out
  out=$(reg_view query "$1" /v "$2" | awk -v n="$2" '$1 == n { $1 = ""; $2 = ""; sub(/^  */, ""); print }')
  echo "${out:-(missing)}"
}
