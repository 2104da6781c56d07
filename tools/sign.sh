#!/usr/bin/env bash
# Signs FILE in place with the code-signing certificate in TOLVANE_SIGN_P12 (its password in
# TOLVANE_SIGN_PASSWORD) and keeps the signature alone as $TOLVANE_SIGNATURES/NAME.sig. With
# TOLVANE_ATTACH set, it signs nothing: it puts $TOLVANE_ATTACH/NAME.sig back on FILE, as a
# rebuild that is checked against a download does. The release's one signing step: a hardware
# token or a signing service takes its place by doing the same to FILE.
# Usage: sign.sh FILE NAME
set -euo pipefail
file=$1 name=$2 signed=$1.signed
fail() { echo "Signing $name failed: $1" >&2; rm -f "$signed"; exit 1; }
rm -f "$signed" # osslsigncode writes over nothing, its input least of all
if [ -n "${TOLVANE_ATTACH:-}" ]; then
    # It exits 1 also when the certificate is not one the system trusts, so its digest check decides.
    log=$(osslsigncode attach-signature -sigin "$TOLVANE_ATTACH/$name.sig" -in "$file" -out "$signed" 2>&1) || true
    [ -f "$signed" ] || fail "$log"
    if grep -q 'message digest.*MISMATCH' <<<"$log"; then fail "$name.sig is not the signature of this $name"; fi
else
    # The last commit's time, not the clock's, so two signings give the same bytes.
    time=${SOURCE_DATE_EPOCH:-$(git -C "$(dirname "$0")" log -1 --format=%ct 2>/dev/null || true)}
    [ -n "$time" ] || fail "no signing time: set SOURCE_DATE_EPOCH, or sign in a git checkout"
    log=$(osslsigncode sign -pkcs12 "$TOLVANE_SIGN_P12" -readpass <(printf %s "${TOLVANE_SIGN_PASSWORD:-}") \
          -h sha256 -time "$time" ${TOLVANE_TIMESTAMP_URL:+-ts "$TOLVANE_TIMESTAMP_URL"} \
          -in "$file" -out "$signed" 2>&1) || fail "$log"
    mkdir -p "$TOLVANE_SIGNATURES" && rm -f "$TOLVANE_SIGNATURES/$name.sig"
    osslsigncode extract-signature -in "$signed" -out "$TOLVANE_SIGNATURES/$name.sig" >/dev/null ||
        fail "its signature could not be extracted"
fi
mv "$signed" "$file"
