#!/usr/bin/env bash
# Drives the bash completion of kaldrani-cli as bash would, against the real program and a
# site list of its own. usage: completion_test.sh COMPLETION_FILE KALDRANI_CLI
set -u
# shellcheck source=/dev/null
source "$1"
cli=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
export XDG_DATA_HOME="$tmp/unused"

# Completes the last of the given words; prints the candidates sorted, space-separated.
candidates()
{
    COMP_WORDS=("$cli" "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _kaldrani_cli
    printf '%s\n' "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd ' '
}

failures=0
check()
{
    local name=$1 expected=$2
    shift 2
    local actual
    actual=$(candidates "$@")
    if [[ $actual != "$expected" ]]; then
        echo "FAIL $name: kaldrani-cli $* <TAB>: expected [$expected], got [$actual]" >&2
        failures=$((failures + 1))
    fi
}

printf 'example.com\nexample.org\n例子.中国\n' | "$cli" --data-dir "$tmp/data" sites set - || exit 1
sites="example.com example.org 例子.中国"

check "every verb" "engines fetch health history ip keywords mail overview rank schedule sites track whois" ""
check "verb prefix" "overview" "ov"
check "options before the verb" "--cacert --connect-to --data-dir --help --help-all --proxy --version" "--"
check "a verb's options" "--engines" rank --e
check "the nested verb" "set" sites ""
check "the engines' nested verbs" "check try" engines ""
check "a service to try" "count.baidu.backlinks count.baidu.indexed" engines try count.baidu
check "engines after a comma" "baidu,bing" rank --engines baidu,b
check "sites for overview" "$sites" --data-dir "$tmp/data" overview ""
check "sites for history by prefix" "example.com example.org" --data-dir "$tmp/data" history ex
check "sites for rank after its options" "$sites" --connect-to x --data-dir "$tmp/data" rank --last 5 ""
check "no site for the keyword" "" --data-dir "$tmp/data" rank example.com ""
check "sites for a tracked keyword" "$sites" --data-dir "$tmp/data" keywords add ""
check "the actions of keywords" "add list remove" keywords ""
check "no list, no sites" "" overview ""
if [[ -e $XDG_DATA_HOME ]]; then
    echo "FAIL completing made a data folder at $XDG_DATA_HOME" >&2
    failures=$((failures + 1))
fi

exit $((failures > 0))
