#!/bin/bash
# Succeeds when this machine runs 32-bit x86 Linux programs, which 32-bit Wine needs. Asks the
# kernel rather than guessing from the CPU: it runs a 96-byte static i386 program that only exits
# with 42, written here byte by byte, so nothing 32-bit has to be installed to ask.
set -u
probe=$(mktemp "${TMPDIR:-/tmp}/runs-32bit.XXXXXX") || exit 1
trap 'rm -f "$probe"' EXIT

# ELF header: 32-bit, little-endian, executable, i386, entry 0x08048054, one program header.
printf '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' >"$probe"
printf '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' >>"$probe"
printf '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00\x00\x00\x00\x00' >>"$probe"
# One loadable segment: the whole file at 0x08048000, readable and executable.
printf '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' >>"$probe"
printf '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' >>"$probe"
# mov ebx, 42; mov eax, 1 (exit); int 0x80
printf '\xbb\x2a\x00\x00\x00\xb8\x01\x00\x00\x00\xcd\x80' >>"$probe"
chmod 700 "$probe"

"$probe" 2>/dev/null
[ $? -eq 42 ]
