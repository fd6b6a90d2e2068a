#!/usr/bin/env bash
# verify_signatures.sh OSSLSIGNCODE CERTIFICATE.pem FILE...
#
# Checks each FILE's Authenticode signature with osslsigncode, the self-signed CERTIFICATE being
# the only authority trusted: the signature must verify, with SHA-256, over a digest that matches
# the file. Then the same with one byte changed inside what the signature covers (the "This
# program cannot be run in DOS mode" of the file's first executable: a PE file's own, or in a
# package the custom-action library's), which must fail. Prints one line per file; exits
# non-zero on the first file that does not behave.
set -euo pipefail

if (($# < 3)); then
  echo "usage: $(basename "$0") OSSLSIGNCODE CERTIFICATE.pem FILE..." >&2
  exit 2
fi
osslsigncode=$1
certificate=$2
shift 2

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
marker='This program cannot be run in DOS mode'

verify() {
  "$osslsigncode" verify -CAfile "$certificate" -in "$1" >"$scratch/verify.txt" 2>&1
}

for file in "$@"; do
  name=$(basename "$file")
  if ! verify "$file"; then
    cat "$scratch/verify.txt" >&2
    echo "FAIL $name: the signature does not verify" >&2
    exit 1
  fi
  if ! grep -q '^Signature verification: ok' "$scratch/verify.txt" ||
    ! grep -Eq '^Message digest algorithm *: SHA256' "$scratch/verify.txt"; then
    cat "$scratch/verify.txt" >&2
    echo "FAIL $name: no SHA-256 signature that verifies" >&2
    exit 1
  fi

  offset=$(grep -obUa -m 1 "$marker" "$file" | head -n 1 | cut -d: -f1)
  if [[ -z $offset ]]; then
    echo "FAIL $name: no \"$marker\" to change" >&2
    exit 1
  fi
  changed=$scratch/$name
  cp "$file" "$changed"
  # "T" becomes "t".
  printf 't' | dd of="$changed" bs=1 seek="$offset" conv=notrunc status=none
  if verify "$changed" || grep -q '^Signature verification: ok' "$scratch/verify.txt"; then
    cat "$scratch/verify.txt" >&2
    echo "FAIL $name: still verifies with byte $offset changed" >&2
    exit 1
  fi
  echo "$name: signature and SHA-256 digest verify; with byte $offset changed, verification fails"
done
