#!/usr/bin/env bash
# Fails when a folder of the module includes a header from a folder above it.
# The module entry (server/Exports.cpp) may include anything; outside the
# module, only the tests and benchmarks include server/.
set -euo pipefail
cd "$(dirname "$0")/.."
git rev-parse --is-inside-work-tree >/dev/null || { echo "not a git checkout: nothing to check" >&2; exit 1; }
# Each folder with the folders it may include (besides itself, base/ and res/).
declare -A allowed=(
  [server]="view controls transfer viewer print camera imaging"
  [view]="controls transfer viewer print camera imaging"
  [controls]="camera imaging"
  [transfer]="camera imaging"
  [viewer]="transfer camera imaging"
  [print]="transfer camera imaging"
  [camera]="imaging"
  [imaging]=""
  [base]=""
)
status=0
for folder in "${!allowed[@]}"; do
  for file in $(git ls-files "$folder" | grep -E '\.(cpp|h)$'); do
    while IFS= read -r used; do
      [ "$used" = "$folder" ] || [ "$used" = base ] || [ "$used" = res ] && continue
      [ -n "${allowed[$used]+x}" ] || continue
      case " ${allowed[$folder]} " in *" $used "*) ;; *)
        echo "$file includes $used/ (above $folder/)"; status=1 ;;
      esac
    done < <(sed -n 's|^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z]*\)/.*|\1|p' "$file")
  done
done
for file in $(git ls-files codec drivers | grep -E '\.(cpp|h)$'); do
  if grep -qE '^\s*#\s*include\s*"(server|view|controls|transfer|viewer|print)/' "$file"; then
    echo "$file includes the module's rooms"; status=1
  fi
done
# Outside the module only the tests and benchmarks look inside the folder objects.
for file in $(git ls-files tools | grep -E '\.(cpp|h)$'); do
  if grep -qE '^\s*#\s*include\s*"server/' "$file"; then
    echo "$file includes server/"; status=1
  fi
done
exit $status
