#!/usr/bin/env bash
# pellora-cli update under Wine against a loopback HTTP server (127.0.0.1 only) started here:
# WinINet fetches, BCrypt verifies the openssl-made ECDSA signatures against the test key in
# the Keys folder, and every bad download is refused with DataBase.ref byte-identical and no
# DataBase.tmp left; good ones are installed (the old database kept as DataBase.bak) and
# "update --rollback" puts it back. pellora-db sign makes a signature openssl accepts.
# Arguments: the staged application folder and the build folder.
set -euo pipefail
app=$1
build=$2
name=cli-update
source "$(dirname "$0")/cli_support.bash"

# Loopback only: no proxy of the environment may stand between WinINet and the test server.
unset http_proxy https_proxy HTTP_PROXY HTTPS_PROXY no_proxy NO_PROXY
keys="$root/tests/data/update"
cp "$app/DataBase.ref" "$work/app/DataBase.ref"
mkdir -p "$work/app/Keys"
# The test key pair is trusted only in this test's application folder.
cp "$keys/pellora-test-signing-key.pub.pem" "$work/app/Keys/"
starter="$work/starter.ref"
cp "$work/app/DataBase.ref" "$starter"

serve="$work/serve"
mkdir -p "$serve"
# A locked database of exactly $1 bytes with version line $2, at $serve/$3/members/DataBase.ref.
make_database() {
    local dir="$serve/$3/members"
    mkdir -p "$dir"
    python3 - "$1" "$2" "$work/plain.txt" <<'PY'
import sys
size, version, out = int(sys.argv[1]), sys.argv[2], sys.argv[3]
text = version + "\r\nfile|e2e-update-spy.exe|Test.Spyware|\r\n"
n = 0
while len(text) + 80 < size:
    text += "path|%%ProgramsDir%%\\E2eSpy%d\\spy.exe|Test.Spyware|\r\n" % n
    n += 1
text += "#" + "z" * (size - len(text) - 3) + "\r\n"
open(out, "w", newline="").write(text)
PY
    "$run" "$work/app/pellora-db.exe" lock "$(winpath "$work/plain.txt")" "$(winpath "$dir/DataBase.ref")" \
        </dev/null >/dev/null || fail "pellora-db could not lock a test database"
    [ "$(stat -c %s "$dir/DataBase.ref")" = "$1" ] || fail "test database of $1 bytes came out $(stat -c %s "$dir/DataBase.ref")"
}
sign() {  # file, key
    openssl dgst -sha256 -sign "$2" -out "$1.sig" "$1"
}
testkey="$keys/pellora-test-signing-key.pem"
make_database 1000000 "E2E Update Good 1" good
make_database 899999 "E2E Update Small 2" small
make_database 900000 "E2E Update Exact 3" exact
for case in good small exact; do sign "$serve/$case/members/DataBase.ref" "$testkey"; done
for case in short nolength slow wrongsig unknownkey nosig; do
    mkdir -p "$serve/$case/members"
    cp "$serve/good/members/DataBase.ref" "$serve/$case/members/"
done
for case in short nolength slow; do cp "$serve/good/members/DataBase.ref.sig" "$serve/$case/members/"; done
cp "$serve/exact/members/DataBase.ref.sig" "$serve/wrongsig/members/DataBase.ref.sig"
sign "$serve/unknownkey/members/DataBase.ref" "$keys/unknown-test-signing-key.pem"
mkdir -p "$serve/empty/members" "$serve/garbage/members"
: >"$serve/empty/members/DataBase.ref"
head -c 950000 /dev/urandom >"$serve/garbage/members/DataBase.ref"
sign "$serve/empty/members/DataBase.ref" "$testkey"
sign "$serve/garbage/members/DataBase.ref" "$testkey"

# pellora-db sign (BCrypt under Wine) makes what openssl verifies, in openssl's own format.
"$run" "$work/app/pellora-db.exe" sign "$(winpath "$testkey")" "$(winpath "$serve/good/members/DataBase.ref")" \
    "$(winpath "$work/made-by-pellora-db.sig")" </dev/null >/dev/null || fail "pellora-db sign failed"
openssl dgst -sha256 -verify "$keys/pellora-test-signing-key.pub.pem" -signature "$work/made-by-pellora-db.sig" \
    "$serve/good/members/DataBase.ref" >/dev/null || fail "openssl does not accept the signature of pellora-db sign"

# The server: loopback only, detached from this test's output pipes.
python3 "$(dirname "$0")/update_server.py" "$serve" "$work/port" </dev/null >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; cleanup' EXIT
for _ in $(seq 100); do [ -s "$work/port" ] && break; sleep 0.1; done
[ -s "$work/port" ] || fail "the loopback server did not start"
base="http://127.0.0.1:$(cat "$work/port")"

expect_refused() {  # case, expected exit code, text expected in standard error
    cp "$starter" "$work/app/DataBase.ref"
    rm -f "$work/app/DataBase.bak"
    cli update --url "$base/$1/members/DataBase.ref"
    expect_status "$2" "update ($1)"
    cmp -s "$starter" "$work/app/DataBase.ref" || fail "update ($1) changed DataBase.ref"
    [ ! -e "$work/app/DataBase.tmp" ] || fail "update ($1) left DataBase.tmp"
    [ ! -e "$work/app/DataBase.bak" ] || fail "update ($1) made a DataBase.bak"
    grep -qF "$3" "$work/err.txt" || fail "update ($1): no \"$3\" in: $(cat "$work/err.txt")"
    echo "refused as expected: $1 (exit $2)"
}
expect_installed() {  # case, text expected in standard error
    cp "$starter" "$work/app/DataBase.ref"
    cli update --url "$base/$1/members/DataBase.ref"
    expect_status 0 "update ($1)"
    cmp -s "$serve/${3:-$1}/members/DataBase.ref" "$work/app/DataBase.ref" || fail "update ($1) did not install the download"
    cmp -s "$starter" "$work/app/DataBase.bak" || fail "update ($1) did not keep the old database as DataBase.bak"
    [ ! -e "$work/app/DataBase.tmp" ] || fail "update ($1) left DataBase.tmp"
    grep -qF "$2" "$work/err.txt" || fail "update ($1): no \"$2\" in: $(cat "$work/err.txt")"
    echo "installed as expected: $1"
}

refusal="An error has occured while retrieving the update. Please try again in one hour."
expect_refused small 1 "fewer than 900000"
expect_refused empty 1 "the file has 0 bytes"
expect_refused 404 1 "the server answered 404"
expect_refused 500 1 "the server answered 500"
expect_refused wrongsig 1 "does not verify with any trusted key"
expect_refused unknownkey 1 "does not verify with any trusted key"
expect_refused nosig 1 "no signature: status 404"
expect_refused garbage 1 "does not unlock to a version line"
expect_refused redirect-file 1 "redirected to"
grep -qF "$refusal" "$work/err.txt" || fail "the refusal message is not shown"
# A body cut short of its Content-Length (WinINet ends the read at the closed connection).
expect_refused short 1 "but the Content-Length of"
# Nothing listening.
cp "$starter" "$work/app/DataBase.ref"
cli update --url "http://127.0.0.1:9/members/DataBase.ref"
expect_status 2 "update (unreachable)"
cmp -s "$starter" "$work/app/DataBase.ref" || fail "update (unreachable) changed DataBase.ref"

expect_installed exact "installed \"E2E Update Exact 3\""
expect_installed nolength "installed \"E2E Update Good 1\""
expect_installed redirect "from $base/good/members/DataBase.ref (signed with pellora-test-signing-key.pub.pem)" good
grep -qF "Installed DataBase.ref: E2E Update Good 1" "$work/out" || fail "update does not name what it installed"
grep -qF "installed \"E2E Update Good 1\" from $base/good/" "$work/app/DavEre.roz" || fail "the log file names no source"

# Rollback puts the previous database back.
cli update --rollback
expect_status 0 "update --rollback"
cmp -s "$starter" "$work/app/DataBase.ref" || fail "update --rollback did not put the old database back"
cmp -s "$serve/good/members/DataBase.ref" "$work/app/DataBase.bak" || fail "update --rollback lost the newer database"

# The address of the update panel (Settings\Update.stg) when no --url is given; none set says so.
printf '%s\r\n' "$base/good/members/DataBase.ref" >"$work/app/Settings/Update.stg"
cli update
expect_status 0 "update (Update.stg)"
: >"$work/app/Settings/Update.stg"
cli update
expect_status 2 "update (no address)"
grep -qF "No update address is set" "$work/err.txt" || fail "no address: $(cat "$work/err.txt")"

# Without a trusted key nothing is fetched and the refusal says why.
rm "$work/app/Keys/"*.pem
cli update --url "$base/good/members/DataBase.ref"
expect_status 1 "update (no key)"
grep -qF "there is no trusted key" "$work/err.txt" || fail "no key: $(cat "$work/err.txt")"
echo "PASS"
