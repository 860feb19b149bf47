#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The README's commands as a newcomer types them: every script and built program it names exists,
# and its "Settings as text" lines run as they stand against a simulator, in a folder of their own.
# usage: readme_commands.sh README.md BUILD_DIR
set -euo pipefail
readme=$1
build=$(cd "$2" && pwd)
root=$(cd "$(dirname "$readme")" && pwd)
failed=0

# The first word of each line of each sh block, where it is a path of this tree.
while read -r word; do
  case "$word" in
    scripts/*) [ -x "$root/$word" ] || { echo "README names $word, which is no executable script"; failed=1; } ;;
    build/*) [ -x "$build/${word#build/}" ] || { echo "README names $word, which the build did not make"; failed=1; } ;;
  esac
done < <(awk '/^```sh/{f=1; next} /^```/{f=0} f {print $1}' "$readme")

# The programs the README sends a newcomer to answer as it says.
for program in cli/vexa_cli sim/vexa_sim; do
  "$build/$program" --help > /dev/null || { echo "build/$program --help failed"; failed=1; }
done
QT_QPA_PLATFORM=offscreen "$build/app/vexa_setup" --lang en --version > /dev/null ||
  { echo "build/app/vexa_setup --lang en --version failed"; failed=1; }

# The batch example: /tmp/vexa becomes a path of this run, build/ the build's programs.
work=$(mktemp -d)
group=
# The example's simulator runs in the example's process group, which ends with this script.
trap '[ -n "$group" ] && kill -- "-$group" 2>/dev/null; rm -rf "$work"' EXIT
mkdir -p "$work/build/cli" "$work/build/sim"
ln -s "$build/cli/vexa_cli" "$work/build/cli/vexa_cli"
ln -s "$build/sim/vexa_sim" "$work/build/sim/vexa_sim"
awk '/^## Settings as text/{s=1} s && /^```sh/{f=1; next} f && /^```/{exit} f' "$readme" |
  sed "s|/tmp/vexa|$work/vexa|g" > "$work/example.sh"
[ -s "$work/example.sh" ] || { echo "README has no example under Settings as text"; exit 1; }
(cd "$work" && exec setsid bash -e example.sh > "$work/out.txt" 2>&1) &
group=$!
if ! wait "$group"; then
  echo "README's example failed:"; cat "$work/out.txt"; failed=1
elif ! grep -q "matches plant.vxa" "$work/out.txt"; then
  echo "README's example did not end in a match:"; cat "$work/out.txt"; failed=1
fi
exit $failed
