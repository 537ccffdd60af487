#!/usr/bin/env bash
# The bash completion of tovra-cli against the built program: each row is the
# command line typed so far (the last word is the one completed) and the
# completions expected, in order, separated by blanks ("-" for none).
# usage: completion_test.sh TOVRA_CLI COMPLETION_FILE
set -uo pipefail
cli=$1
completion=$2
export LC_ALL=C.UTF-8
work=$(mktemp -d /tmp/tovra-completion-XXXXXX)
trap 'rm -rf "$work"' EXIT
export TOVRA_APP_FOLDER=$work/app
mkdir -p "$TOVRA_APP_FOLDER" "$work/www"
for site in "マイサイト" "My Site" "mirror"; do
  "$cli" site set "$site" --yes "LocalRootDir=$work/www" >/dev/null 2>&1 || {
    echo "cannot make the site $site"
    exit 1
  }
done

# shellcheck source=/dev/null
source "$completion"

failures=0
check() {
  local line=$1 expected=$2
  read -r -a COMP_WORDS <<<"$line"
  COMP_WORDS[0]=$cli
  # A line ending in a blank completes a new, empty word.
  [[ $line == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _tovra_cli
  local got="${COMPREPLY[*]:-}"
  [[ -z $got ]] && got="-"
  if [[ $got != "$expected" ]]; then
    echo "FAIL: '$line' gave '$got', expected '$expected'"
    failures=$((failures + 1))
  fi
}

check "tovra-cli si" "site sites"
check "tovra-cli --v" "--version"
check "tovra-cli wh" "where"
check "tovra-cli check" "check-updates"
check "tovra-cli site " "show set delete"
check "tovra-cli site d" "delete"
check "tovra-cli site show " "マイサイト My\\ Site mirror"
check "tovra-cli site show マ" "マイサイト"
check "tovra-cli site show \"My" "My\\ Site"
check "tovra-cli site show mirror --" "--all --no --rename --show-passwords --yes"
check "tovra-cli site set mirror Local" "LocalRootDir="
check "tovra-cli site set mirror WebP" "WebPasswd= WebPort="
check "tovra-cli upload --site " "マイサイト My\\ Site mirror"
check "tovra-cli upload --site m" "mirror"
check "tovra-cli upload --missing s" "skip stop"
check "tovra-cli upload --m" "--missing"
check "tovra-cli upload --c" "--changed"
check "tovra-cli ls --host " "-"
check "tovra-cli ls --" "--host --names --passive --pin --port --raw --tls --trace --user"
check "tovra-cli check-updates --" "--save"
check "tovra-cli deps --" "--page-encoding --root"
check "tovra-cli links --" "--page-encoding"
check "tovra-cli nosuch --" "-"

if ((failures > 0)); then
  echo "$failures completion(s) wrong"
  exit 1
fi
echo "bash completion: all rows pass"
