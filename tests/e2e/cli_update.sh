#!/usr/bin/env bash
# pellora-cli update under Wine against a loopback HTTP server (127.0.0.1 only) started here:
# WinINet fetches, BCrypt verifies the openssl-made ECDSA signatures against the test key in
# the Keys folder, and every bad download is refused with DataBase.ref byte-identical and no
# DataBase.tmp left; good ones are installed (the old database kept as DataBase.bak) and
# "update --rollback" puts it back. pellora-db sign makes a signature openssl accepts.
# "update --file" takes the same files from the disk with the same checks.
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
# A locked database of exactly $1 bytes (its trailer line included) with version line $2 and serial ${4:-5}, at
# $serve/$3/members/DataBase.ref.
make_database() {
    local dir="$serve/$3/members"
    mkdir -p "$dir"
    python3 - "$1" "$2" "$work/plain.txt" "${4:-5}" <<'PY'
import sys
size, version, out, serial = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
text = version + "\r\n@serial " + serial + "\r\nfile|e2e-update-spy.exe|Test.Spyware|\r\n"
n = 0
while len(text) + 180 < size:
    text += "path|%%ProgramsDir%%\\E2eSpy%d\\spy.exe|Test.Spyware|\r\n" % n
    n += 1
# pellora-db lock adds the trailer "@end items=N sha256=" and 64 hex digits.
trailer = len("@end items=%d sha256=" % (n + 1)) + 64 + 2
text += "#" + "z" * (size - len(text) - 3 - trailer) + "\r\n"
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
make_database 1000000 "E2E Update Newer 4" newer 9
for case in good small exact newer; do sign "$serve/$case/members/DataBase.ref" "$testkey"; done
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

# A certificate for 127.0.0.1 (also as a DNS name, which is what Wine compares the address
# with), trusted only in this test's Wine prefix: its root store lives in
# the registry, one key per certificate named by its SHA-1, the value "Blob" holding the
# serialised certificate (property 32, the certificate itself).
openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -days 2 -subj /CN=127.0.0.1 \
    -addext subjectAltName=DNS:127.0.0.1,IP:127.0.0.1 -keyout "$work/tls.key" -out "$work/tls.pem" 2>/dev/null ||
    fail "openssl could not make the loopback certificate"
openssl x509 -in "$work/tls.pem" -outform DER -out "$work/tls.der"
thumbprint=$(openssl x509 -in "$work/tls.pem" -noout -fingerprint -sha1 | sed 's/.*=//; s/://g')
blob=$(python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); print((struct.pack("<III",32,1,len(d))+d).hex())' \
    "$work/tls.der")
"$run" reg add "HKLM\\Software\\Microsoft\\SystemCertificates\\Root\\Certificates\\$thumbprint" /v Blob /t REG_BINARY \
    /d "$blob" /f </dev/null >/dev/null || fail "the loopback certificate could not be trusted"

# The server: loopback only, detached from this test's output pipes.
python3 "$(dirname "$0")/update_server.py" "$serve" "$work/port" "$work/tls.pem" "$work/tls.key" \
    </dev/null >/dev/null 2>&1 &
server=$!
trap 'kill $server 2>/dev/null || true; cleanup' EXIT
wait_until 120 test -s "$work/port" || fail "the loopback server did not start within 120 s"
base="http://127.0.0.1:$(cat "$work/port")"
secure="https://127.0.0.1:$(cat "$work/port.tls")"

# The installer's database again: no signature file beside it, no previous one.
reset_database() {
    cp "$starter" "$work/app/DataBase.ref"
    rm -f "$work/app/DataBase.sig" "$work/app/DataBase.bak" "$work/app/DataBase.bak.sig"
}
expect_refused() {  # case, expected exit code, text expected in standard error
    reset_database
    local from=$base
    [ "$1" = downgrade ] && from=$secure
    cli update --url "$from/$1/members/DataBase.ref"
    expect_status "$2" "update ($1)"
    cmp -s "$starter" "$work/app/DataBase.ref" || fail "update ($1) changed DataBase.ref"
    [ ! -e "$work/app/DataBase.tmp" ] || fail "update ($1) left DataBase.tmp"
    [ ! -e "$work/app/DataBase.bak" ] || fail "update ($1) made a DataBase.bak"
    grep -qF "$3" "$work/err.txt" || fail "update ($1): no \"$3\" in: $(cat "$work/err.txt")"
    echo "refused as expected: $1 (exit $2)"
}
expect_installed() {  # case, text expected in standard error
    reset_database
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
expect_refused downgrade 1 "(from https:// to http://)"
grep -qF "$refusal" "$work/err.txt" || fail "the refusal message is not shown"
# A body cut short of its Content-Length (WinINet ends the read at the closed connection).
expect_refused short 1 "but the Content-Length of"
# No end to the body: refused once 64 MiB have arrived, nothing more written or kept.
expect_refused endless 1 "sent more than 67108864"
expect_refused huge 1 "announces 70000000 bytes"
# Nothing listening.
reset_database
cli update --url "http://127.0.0.1:9/members/DataBase.ref"
expect_status 2 "update (unreachable)"
cmp -s "$starter" "$work/app/DataBase.ref" || fail "update (unreachable) changed DataBase.ref"

expect_installed exact "installed \"E2E Update Exact 3\""
# Over TLS, with the certificate checked: the same server answers, so what refuses the
# downgrade above is the redirect, not the connection.
reset_database
cli update --url "$secure/good/members/DataBase.ref"
expect_status 0 "update (https)"
grep -qF "from $secure/good/members/DataBase.ref" "$work/err.txt" || fail "https: $(cat "$work/err.txt")"
expect_installed nolength "installed \"E2E Update Good 1\""
expect_installed redirect "from $base/good/members/DataBase.ref (signed with pellora-test-signing-key.pub.pem)" good
grep -qF "Installed DataBase.ref: E2E Update Good 1" "$work/out" || fail "update does not name what it installed"
grep -qF "installed \"E2E Update Good 1\" from $base/good/" "$work/app/DavEre.roz" || fail "the log file names no source"

# The signature it was judged by is kept beside it; a changed DataBase.ref is then not loaded.
cmp -s "$serve/good/members/DataBase.ref.sig" "$work/app/DataBase.sig" || fail "update did not keep DataBase.sig"
cp "$work/app/DataBase.ref" "$work/installed.ref"
printf 'x' >>"$work/app/DataBase.ref"
cli scan --mode folders
expect_status 2 "scan with a changed DataBase.ref"
grep -qF "does not match its signature DataBase.sig" "$work/err.txt" || fail "changed database: $(cat "$work/err.txt")"
cp "$work/installed.ref" "$work/app/DataBase.ref"

# A replayed older edition, validly signed, is refused: its serial is not above the installed one.
reset_database
cli update --url "$base/newer/members/DataBase.ref"
expect_status 0 "update (newer)"
cp "$work/app/DataBase.ref" "$work/newer.ref"
cli update --url "$base/good/members/DataBase.ref"
expect_status 1 "update (replayed older edition)"
cmp -s "$work/newer.ref" "$work/app/DataBase.ref" || fail "a replayed older edition changed DataBase.ref"
grep -qF "its serial 5 is not above the installed database's serial 9" "$work/err.txt" ||
    fail "replay: $(cat "$work/err.txt")"
echo "refused as expected: a replayed older edition (exit 1)"
reset_database
cli update --url "$base/redirect/members/DataBase.ref"
expect_status 0 "update (redirect, again)"

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

# From a file (a share or a disk) instead of a server: the same checks, the signature from PATH.sig.
update_file() {  # file (Unix path), expected exit code, what, text expected in standard error
    cli update --file "$(winpath "$1")"
    expect_status "$2" "update --file ($3)"
    grep -qF "$4" "$work/err.txt" || fail "update --file ($3): no \"$4\" in: $(cat "$work/err.txt")"
    [ ! -e "$work/app/DataBase.tmp" ] || fail "update --file ($3) left DataBase.tmp"
    echo "update --file as expected: $3 (exit $2)"
}
reset_database
update_file "$serve/nosig/members/DataBase.ref" 1 unsigned "no signature: cannot open"
update_file "$serve/unknownkey/members/DataBase.ref" 1 "unknown key" "does not verify with any trusted key"
truncate -s 70000000 "$work/huge.ref"
cp "$serve/good/members/DataBase.ref.sig" "$work/huge.ref.sig"
update_file "$work/huge.ref" 1 "too large" "larger than 67108864 bytes"
update_file "$work/none.ref" 2 missing "cannot open"
cmp -s "$starter" "$work/app/DataBase.ref" || fail "a refused update --file changed DataBase.ref"
[ ! -e "$work/app/DataBase.bak" ] || fail "a refused update --file made a DataBase.bak"
update_file "$serve/newer/members/DataBase.ref" 0 good "installed \"E2E Update Newer 4\""
cmp -s "$serve/newer/members/DataBase.ref" "$work/app/DataBase.ref" || fail "update --file did not install the file"
cmp -s "$serve/newer/members/DataBase.ref.sig" "$work/app/DataBase.sig" || fail "update --file did not keep DataBase.sig"
cmp -s "$starter" "$work/app/DataBase.bak" || fail "update --file did not keep the old database as DataBase.bak"
cp "$work/app/DataBase.ref" "$work/newer.ref"
update_file "$serve/good/members/DataBase.ref" 1 "older serial" "its serial 5 is not above the installed database's serial 9"
cmp -s "$work/newer.ref" "$work/app/DataBase.ref" || fail "an older edition from a file changed DataBase.ref"

# Without a trusted key nothing is fetched and the refusal says why.
rm "$work/app/Keys/"*.pem
cli update --url "$base/good/members/DataBase.ref"
expect_status 1 "update (no key)"
grep -qF "there is no trusted key" "$work/err.txt" || fail "no key: $(cat "$work/err.txt")"
echo "PASS"
