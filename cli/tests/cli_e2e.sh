#!/usr/bin/env bash
# End-to-end tests of the zelkora tool: packs, lists, tests and extracts
# through the real binary. The tool's command is given as the arguments
# (for example "build/win64/wine-run build/win64/bin/zelkora.exe", or a
# native "zelkora"). ZK_E2E_WORK names the work folder (made afresh);
# ZK_E2E_STUB an extractor program for ".exe" archives when none lies
# beside the tool. With ZK_E2E_WINE (a build's wine-run; the tool's own
# runner when it is one) the real extractor opens what the tool packed, and
# with ZK_E2E_BUILDER (that build's Zelkora.exe) the Windows builder and the
# tool are compared byte for byte. ZK_E2E_FIXTURE is the command of
# cli_fixture, which writes hostile archives.
set -u
[ $# -gt 0 ] || { echo "usage: cli_e2e.sh TOOL [ARG...]" >&2; exit 2; }
# The tests run in the work folder: paths of the tool's command made absolute.
tool=()
for a in "$@"; do
  if [ -e "$a" ]; then tool+=("$(realpath "$a")"); else tool+=("$a"); fi
done
work=${ZK_E2E_WORK:-$(mktemp -d)}
rm -rf "$work" && mkdir -p "$work" && cd "$work" || exit 2
stub=()
[ -n "${ZK_E2E_STUB:-}" ] && stub=(--stub "$ZK_E2E_STUB")
wine=${ZK_E2E_WINE:-}
[ -z "$wine" ] && [ "$(basename "${tool[0]}")" = wine-run ] && wine=${tool[0]}
builder=${ZK_E2E_BUILDER:-}
# A folder of the work folder as a Windows program sees it.
winpath() { local p="$PWD/$1"; echo "Z:${p//\//\\}"; }

failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# z CODE ARGS...: runs the tool (never on a terminal), output in out.txt and
# err.txt, and checks its exit code.
z() {
  local want=$1; shift
  "${tool[@]}" "$@" </dev/null >out.txt 2>err.txt
  local got=$?
  [ "$got" = "$want" ] || fail "exit $got, expected $want: zelkora $* -- $(head -c 600 err.txt)"
}
has() { grep -qF -- "$2" "$1" || fail "$1 lacks '$2': $(head -c 400 "$1")"; }

# ---- sources ------------------------------------------------------------
mkdir -p src/sub/deep "src/日本語"
printf 'hello\n' > src/a.txt
: > src/empty.txt
printf 'deep file\n' > src/sub/deep/x.txt
printf '日本語の中身\n' > "src/日本語/ファイル.txt"
seq 1 40000 > src/sub/numbers.txt
head -c 2500000 /dev/urandom > src/noise.bin

# ---- usage errors and help ------------------------------------------------------
z 0 --help; has out.txt "Usage: zelkora"
z 0 extract --help; has out.txt "-y, --yes"
z 0 --version; has out.txt "zelkora "
z 2; z 2 bogus; z 2 list; z 2 pack src -o x.zip
z 2 extract a.zka -y -n; has err.txt "exclude each other"

# ---- round trips over the options -------------------------------------------------
# name | archive | pack options | password
matrix=(
  "deflate|deflate.zka|--method deflate|"
  "lz4-high|lz4.exe|--method lz4 --level high|"
  "ja-password|ja.zka|--method deflate|日本語のパスワード"
  "split-password|split.exe|--split 1|secret"
  "no-hash-verify|nohash.zka|--method lz4 --no-hash --no-verify|"
)
for row in "${matrix[@]}"; do
  IFS='|' read -r name archive options password <<<"$row"
  pw=(); [ -n "$password" ] && pw=(-p "$password")
  extra=(); [[ $archive == *.exe ]] && extra=("${stub[@]}")
  # shellcheck disable=SC2086
  z 0 pack src -o "$archive" $options "${pw[@]}" "${extra[@]}" --title "T $name" --comment "C \"q\""
  [ -f "$archive" ] || { fail "$name: no archive"; continue; }
  z 0 list "$archive" "${pw[@]}"
  has out.txt "src/日本語/ファイル.txt"; has out.txt "T $name"
  z 0 list "$archive" "${pw[@]}" --json
  has out.txt '"path": "src/日本語/ファイル.txt"'; has out.txt '"comment": "C \"q\""'
  if command -v python3 >/dev/null; then python3 -m json.tool out.txt >/dev/null || fail "$name: invalid JSON"; fi
  z 0 test "$archive" "${pw[@]}"
  z 0 extract "$archive" "${pw[@]}" -d "out-$name"
  diff -r src "out-$name/src" >/dev/null || fail "$name: extracted tree differs"
done
# The default destination: the archive's name without extension, beside it.
z 0 extract deflate.zka; diff -r src deflate/src >/dev/null || fail "default destination"
grep -q '"password": true' <("${tool[@]}" list ja.zka -p 日本語のパスワード --json </dev/null) ||
  fail "password flag not listed"

# ---- passwords ------------------------------------------------------------------
z 1 test ja.zka -p wrong; has err.txt "wrong password"
z 1 test ja.zka; has err.txt "needs a password"
printf '日本語のパスワード\n' > pw.txt
z 0 test ja.zka --password-file pw.txt

# ---- damage and missing volumes -----------------------------------------------------
cp deflate.zka damaged.zka
size=$(stat -c %s damaged.zka)
printf 'XXXXXXXXXXXXXXXX' | dd of=damaged.zka bs=1 seek=$((size / 2)) conv=notrunc status=none
z 1 test damaged.zka
seq 1 100 > plain.zka
z 1 list plain.zka; has err.txt "not a Zelkora archive"
z 1 extract deflate.zka -d plain.zka; has err.txt "the destination must be a folder"
mkdir -p vol && cp split.exe* vol/
last=$(ls vol | sort -V | tail -1)
[ "$last" != split.exe ] || fail "split archive has no volume files"
[ -n "$last" ] && rm -f "vol/$last"
z 1 test vol/split.exe -p secret; has err.txt "$last"
z 1 extract vol/split.exe -p secret -d vol/out; has err.txt "$last"

# ---- existing files: -n, -y, and no terminal --------------------------------------
printf 'mine\n' > out-deflate/src/a.txt
z 1 extract deflate.zka -d out-deflate; has err.txt "-y"; has err.txt "a.txt"
z 0 extract deflate.zka -d out-deflate -n
[ "$(cat out-deflate/src/a.txt)" = mine ] || fail "-n replaced a file"
z 0 extract deflate.zka -d out-deflate -y
cmp -s src/a.txt out-deflate/src/a.txt || fail "-y kept the old file"

# ---- selected entries and folders ---------------------------------------------------
z 0 extract lz4.exe -d sel "src/日本語/ファイル.txt" 'src\sub\deep'
[ -f "sel/src/日本語/ファイル.txt" ] && [ -f sel/src/sub/deep/x.txt ] || fail "selected entries missing"
[ ! -e sel/src/a.txt ] && [ ! -e sel/src/sub/numbers.txt ] || fail "unselected entries extracted"
z 1 extract lz4.exe -d sel2 nothing/here; has err.txt "not in the archive"

# ---- names Windows cannot hold ------------------------------------------------------
mkdir -p bad && printf x > bad/ok.txt && printf x > bad/CON && printf x > "bad/trailing."
z 1 pack bad -o bad.zka; has err.txt "CON"
[ ! -e bad.zka ] || fail "an archive was written despite refused names"

# ---- symbolic links: skipped and named (natively; Windows follows them) -------------
if [ -z "$wine" ]; then
  mkdir -p linked/real && printf x > linked/real/kept.txt
  ln -s /etc linked/real/outside && ln -s real linked/alias
  z 0 pack linked -o linked.zka
  has err.txt "skipped symbolic link" && has err.txt "outside"
  z 0 list linked.zka
  ! grep -q -e outside -e alias out.txt || fail "a symbolic link was packed"
  # A link inside the destination that points outside is never written through.
  mkdir -p trap/dest trap/elsewhere && ln -s ../elsewhere trap/dest/src
  z 1 extract lz4.exe -y -d trap/dest
  [ -z "$(ls -A trap/elsewhere)" ] || fail "extraction wrote through a link in the destination"
fi

# ---- hostile archives: refused, nothing outside the destination --------------------
if [ -n "${ZK_E2E_FIXTURE:-}" ]; then
  mkdir -p hostile
  # shellcheck disable=SC2086
  $ZK_E2E_FIXTURE "$PWD/hostile" </dev/null || fail "cli_fixture failed"
  for archive in hostile/*.zka; do
    rm -rf box && mkdir -p box
    z 1 extract "$archive" -d box/out -y; has err.txt "unsafe name"
    leaked=$(cd box && find . -mindepth 1 ! -path './out' ! -path './out/*' | head -1)
    [ -z "$leaked" ] || fail "$archive: $leaked written outside the destination"
    ! find . -name '*escape.txt' | grep -q . || fail "$archive: the hostile entry was written"
    z 1 test "$archive"
    z 0 list "$archive"
    ! grep -q $'\x1b' out.txt || fail "$archive: list printed an escape character"
  done
  [ -n "$(ls hostile)" ] || fail "no hostile archives"
fi

# ---- reproducible archives ----------------------------------------------------------
SOURCE_DATE_EPOCH=1700000000 z 0 pack src/sub -o r1.zka
SOURCE_DATE_EPOCH=1700000000 z 0 pack src/sub -o r2.zka
cmp -s r1.zka r2.zka || fail "SOURCE_DATE_EPOCH: archives differ"
z 0 list r1.zka; has out.txt "2023-11-14 22:13:20 UTC"

# ---- the Windows programs: extractor and builder --------------------------------------
if [ -n "$wine" ]; then
  # What the tool packed, the real extractor extracts: split, password, .exe.
  "$wine" "$PWD/split.exe" --quiet --yes "--dest=$(winpath sfx-out)" --password=secret </dev/null ||
    fail "the extractor refused split.exe"
  diff -r src sfx-out/src >/dev/null || fail "the extractor's tree differs"
  if [ -n "$builder" ]; then
    # Same settings and time stamp: the same bytes. The builder shows the
    # contents list unless told otherwise; the tool only with --show-list.
    # Its own copy, so that no saved settings beside it take part.
    mkdir -p builder && cp "$builder" builder/Zelkora.exe
    SOURCE_DATE_EPOCH=1700000000 "$wine" "$PWD/builder/Zelkora.exe" --quiet "--output=$(winpath built.zka)" --method=lz4 \
      --level=high --hash=on --verify=on --hidden=off --show-list=off "--password=日本語のパスワード" \
      "$(winpath src)" </dev/null || fail "the builder failed"
    SOURCE_DATE_EPOCH=1700000000 z 0 pack src -o packed.zka --method lz4 --level high -p 日本語のパスワード
    cmp -s built.zka packed.zka || fail "the builder and the tool wrote different bytes"
    z 0 extract built.zka -p 日本語のパスワード -d from-builder
    diff -r src from-builder/src >/dev/null || fail "the builder's archive extracts differently"
  fi
fi

if [ "$failures" -ne 0 ]; then
  echo "cli_e2e: $failures failure(s)" >&2
  exit 1
fi
echo "cli_e2e: all passed"
