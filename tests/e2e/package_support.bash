# Shared by the tests of the installation packages (installer.sh, msi.sh; sourced, not a test of
# its own): the files the packages install, a Wine prefix of the test's own with Wine's services
# started, and reading registry values and the kept data. The caller sets app and build (its
# arguments) and name; a Pellora it started and keeps in pid is ended with the test.
set -euo pipefail
export LC_ALL=C
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
run="$root/scripts/wine-run"
kit="$build/e2e-testkit.exe"
stage="$build/installer-stage/files"
work="$build/e2e/$name"

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

rm -rf "$work"
mkdir -p "$work"
export WINEPREFIX="$work/prefix"
cleanup() {
    [ -n "${pid:-}" ] && kill "$pid" 2>/dev/null
    wineserver -k >/dev/null 2>&1 || true
}
trap cleanup EXIT
wineboot -i >/dev/null 2>&1 || true
# Wine's task scheduler service answers only after the prefix's first wineserver has ended.
wineserver -k >/dev/null 2>&1 || true
wineserver -p >/dev/null 2>&1 || true
# Wine's own services must not hold this script's output pipes (see scripts/with-wine).
"$run" cmd /c exit </dev/null >/dev/null 2>&1
drive_c="$WINEPREFIX/drive_c"

reg_value() {  # key, value name: the value's data as reg shows it (64-bit view)
    "$run" reg query "$1" /v "$2" /reg:64 </dev/null 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"
}
staged_files() { (cd "$stage" && find . -type f | sed 's|^\./||' | sort); }
data_sums() { (cd "$1" && find Settings Quarantine "Registry Backups" DavEre.roz -type f -print0 | sort -z | xargs -0 sha256sum); }
