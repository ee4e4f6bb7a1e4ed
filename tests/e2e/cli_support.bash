# Shared by the end-to-end tests of pellora-cli.exe (sourced, not a test of its own): a private
# copy of the application folder, a reference database locked by pellora-db.exe from the test's
# own lines, objects planted on the Wine system (files, folders, a cookie, registry keys and
# values, all under names of this test run) and their removal when the test ends.
# The caller sets: app (staged application folder), build (build folder), name (of the test).

root=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
run="$root/scripts/wine-run"
work="$build/e2e/$name"
rm -rf "$work"
mkdir -p "$work/app"
cp "$app/pellora-cli.exe" "$app/pellora-db.exe" "$work/app/"
tag="PelloraCli$$"
# Planted below the system drive as well, for the custom scan's full hard-disk listing.
drive_c="${WINEPREFIX:?the tests run inside scripts/with-wine}/drive_c"
disk="$drive_c/$tag"
regkey="HKEY_CURRENT_USER\\Software\\$tag"
cookies=""

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# Z: is the whole Unix file system under Wine.
# Polls until the command after the deadline succeeds, for at most $1 seconds of wall time (a
# generous deadline: a busy machine may be slow, never a reason to pass); 1 when it never did.
wait_until() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ "$SECONDS" -lt "$deadline" ] || return 1
        sleep 0.1
    done
}

winpath() {
    local path
    path=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
    printf 'Z:%s' "${path//\//\\}"
}

cleanup() {
    "$run" reg delete "$regkey" /f >/dev/null 2>&1 || true
    rm -rf "$disk"
    [ -n "$cookies" ] && rm -f "$cookies/e2e@$tag.example[1].txt"
    return 0
}
trap cleanup EXIT

# The database of the test: its lines after a version line, locked as the build locks the starter one.
write_database() {
    printf 'E2E %s\r\n' "$tag" >"$work/database.txt"
    local line
    for line in "$@"; do printf '%s\r\n' "$line" >>"$work/database.txt"; done
    "$run" "$work/app/pellora-db.exe" lock "$(winpath "$work/database.txt")" "$(winpath "$work/app/DataBase.ref")" \
        </dev/null >/dev/null || fail "pellora-db could not lock the test database"
}

# The cookie folder the program finds through the shell folders, as a Unix path.
find_cookie_folder() {
    local windows
    windows=$("$run" reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\Shell Folders' /v Cookies \
        </dev/null | tr -d '\r' | sed -n 's/^ *Cookies *REG_SZ *//p')
    [ -n "$windows" ] || fail "no Cookies shell folder in this Wine prefix"
    cookies=$("$run" winepath -u "$windows" </dev/null | tr -d '\r')
    cookies=${cookies%/}
    mkdir -p "$cookies"
}

reg_add() {
    "$run" reg add "$@" /f </dev/null >/dev/null || fail "reg add $*"
}

reg_has_key() {
    "$run" reg query "$1" </dev/null >/dev/null 2>&1
}

# Runs pellora-cli with the arguments; its standard output, standard error and exit code are
# left in $work/out, $work/err and $status.
cli() {
    set +e
    "$run" "$work/app/pellora-cli.exe" "$@" </dev/null >"$work/out" 2>"$work/err"
    status=$?
    set -e
    tr -d '\r' <"$work/err" >"$work/err.txt"
}

expect_status() {
    [ "$status" = "$1" ] || fail "pellora-cli $2: exit code $status, expected $1 (stderr: $(cat "$work/err.txt"))"
}
