#!/usr/bin/env bash
# Checks that the tests catch each deliberate fault of tools/mutants.txt: the
# fault is applied alone, the build is brought up to date, the tests named for
# it run under Wine, and the file is put back. Prints a table and exits
# non-zero if any fault went uncaught, did not build or could not be applied.
# Usage: tools/mutants.sh [--full] [--baseline] [id...]
#   --full      run the whole ctest for each fault instead of its own regex
#   --baseline  apply nothing: run the regexes of the chosen faults on the
#               code as it is (all of them must pass) and stop
# BUILD_DIR is the build tree (./build by default), MUTANTS another list of
# faults; KEEP_WORK=1 keeps the logs of the last build and test run.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
cd "$root"
build=$(realpath -m "${BUILD_DIR:-build}")
list=${MUTANTS:-tools/mutants.txt}
full=0 baseline=0
while [ $# -gt 0 ]; do
    case $1 in
        --full) full=1 ;;
        --baseline) baseline=1 ;;
        -*) echo "unknown option $1" >&2; exit 2 ;;
        *) break ;;
    esac
    shift
done

work=$(mktemp -d)
current=""  # the file now holding a fault; its clean copy is $work/clean
restore() {
    # A plain copy gives the file a new time, so the next build recompiles it.
    [ -n "$current" ] && cp "$work/clean" "$current"
    current=""
}
trap 'restore; [ -n "${KEEP_WORK:-}" ] || rm -rf "$work"' EXIT
trap 'echo "interrupted: $current put back" >&2; exit 130' INT TERM

# Prints the chosen entries as id<TAB>file<TAB>fault<TAB>regex, or fails on an
# entry that names no single tracked file or whose text is not there once.
# With "apply ID" instead writes that entry's fault into its file.
entries() {
    git ls-files > "$work/files"
    python3 - "$list" "$work/files" "$@" <<'EOF'
import os, sys
listing, files, mode, args = sys.argv[1], sys.argv[2], sys.argv[3], sys.argv[4:]
tracked = open(files).read().split("\n")
entries, bad = [], False
for number, line in enumerate(open(listing, encoding="utf-8"), 1):
    line = line.rstrip("\n")
    if not line.strip() or line.startswith("#"):
        continue
    fields = line.split(" | ")
    if len(fields) != 6:
        sys.exit(f"{listing}:{number}: {len(fields)} fields, not 6")
    entries.append(fields)
ids = [e[0] for e in entries]
for wanted in args:
    if wanted not in ids:
        sys.exit(f"no fault named {wanted}")
chosen = [e for e in entries if not args or e[0] in args]
for id_, name, original, replacement, fault, regex in chosen:
    paths = [p for p in tracked if os.path.basename(p) == name]
    if len(paths) != 1:
        print(f"{id_}: {len(paths)} tracked files named {name}", file=sys.stderr)
        bad = True
        continue
    text = open(paths[0], encoding="utf-8").read()
    if text.count(original) != 1:
        print(f"{id_}: the original text is in {paths[0]} {text.count(original)} times, not once",
              file=sys.stderr)
        bad = True
        continue
    if mode == "list":
        print("\t".join([id_, paths[0], fault, regex]))
    elif mode == "apply":
        with open(paths[0], "w", encoding="utf-8") as out:
            out.write(text.replace(original, replacement))
sys.exit(1 if bad else 0)
EOF
}

# Runs ctest under the Wine session with regex $1 (all tests if empty); puts
# the names of the failing tests into $work/failed, one a line.
run_tests() {
    local select=()
    [ -n "$1" ] && select=(-R "$1")
    BUILD_DIR="$build" tools/wine-session.sh ctest --test-dir "$build" --timeout 300 \
        "${select[@]}" < /dev/null > "$work/ctest.log" 2>&1
    local status=$?
    sed -n '/^The following tests FAILED:/,$ s/^\s*[0-9]\+ - \([^ ]*\).* (.*)$/\1/p' "$work/ctest.log" > "$work/failed"
    if grep -q "No tests were found" "$work/ctest.log"; then echo "(no tests matched)" > "$work/failed"; return 1; fi
    [ $status -eq 0 ] || [ -s "$work/failed" ] || echo "(ctest itself failed)" > "$work/failed"
    return $status
}

entries list "$@" > "$work/entries" || exit 2
cmake --build "$build" -j2 > "$work/build.log" 2>&1 || { echo "the unchanged code does not build" >&2; exit 2; }

if [ $baseline = 1 ]; then
    # One run per regex: ctest's regexes take only a few groups each.
    regexes=$(cut -f4 "$work/entries" | sort -u)
    [ $full = 1 ] && regexes=""
    failing=0
    while IFS= read -r regex; do
        run_tests "$regex" && continue
        failing=1
        echo "baseline: failing without any fault ($regex):"; sed 's/^/  /' "$work/failed"
    done <<< "$regexes"
    [ $failing = 0 ] && echo "baseline: the tests pass"
    exit $failing
fi

started=$(date +%s)
results=()
add() { local IFS=$'\t'; results+=("$*"); }
uncaught=0
while IFS=$'\t' read -r id file fault regex; do
    [ $full = 1 ] && regex=""
    echo "== $id ($file)" >&2
    cp "$file" "$work/clean"
    current=$file
    entries apply "$id" || { restore; add "$id" "$file" "$fault" "entry refused" ""; uncaught=1; continue; }
    if ! cmake --build "$build" -j2 < /dev/null > "$work/build.log" 2>&1; then
        restore
        add "$id" "$file" "$fault" "does not build" "$(grep -m1 'error' "$work/build.log" | cut -c1-100)"
        uncaught=1
        continue
    fi
    run_tests "$regex"
    restore
    caught=yes
    [ -s "$work/failed" ] || { caught=no; uncaught=1; }
    grep -q '^(' "$work/failed" && { caught=no; uncaught=1; }
    add "$id" "$file" "$fault" "$caught" "$(paste -sd' ' "$work/failed")"
    echo "   caught: $caught $(head -3 "$work/failed" | paste -sd' ')" >&2
done < "$work/entries"

# Leaves the build tree as the code is.
cmake --build "$build" -j2 > "$work/build.log" 2>&1

printf '%-28s %-24s %-7s %s\n' id file caught "catching tests (fault)"
for row in "${results[@]}"; do
    IFS=$'\t' read -r id file fault caught tests <<< "$row"
    read -ra names <<< "$tests"
    shown="${names[*]:0:3}"
    [ ${#names[@]} -gt 3 ] && shown+=" (+$(( ${#names[@]} - 3 )) more)"
    [ "$caught" = "does not build" ] && shown=$tests
    printf '%-28s %-24s %-7s %s\n' "$id" "$(basename "$file")" "$caught" "$shown"
    printf '%-54s(%s)\n' "" "$fault"
done
echo "${#results[@]} faults, $(( $(date +%s) - started )) s"
exit $uncaught
