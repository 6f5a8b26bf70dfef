# Runs the zsh completion of kaldrani-cli with compadd and the file completers replaced by
# recorders, against the real program and a site list of its own.
# usage: zsh -f zsh_completion_test.zsh COMPLETION_FILE KALDRANI_CLI
comp=$1 cli=$2
tmp=$(mktemp -d)
trap 'rm -rf $tmp' EXIT
export XDG_DATA_HOME=$tmp/unused

offered=()
compadd() {
  if [[ $1 == -a ]]; then offered+=(${(P)2}); else shift ${@[(i)-]}; offered+=($@); fi
}
_files() { offered+=("<files $*>") }
_sequence() { offered+=("<sequence $*>") }

integer failures=0
check() {
  local name=$1 expected=$2
  shift 2
  words=($cli "$@")
  CURRENT=$#words
  offered=()
  source $comp
  local actual=${(j: :)${(o)offered}}
  if [[ $actual != $expected ]]; then
    print -u2 -r -- "FAIL $name: kaldrani-cli $* <TAB>: expected [$expected], got [$actual]"
    (( failures++ ))
  fi
}

print 'example.com\nexample.org\n例子.中国' | $cli --data-dir $tmp/data sites set - || exit 1

check "every verb" "engines fetch health history ip keywords mail overview rank schedule sites track whois" ""
check "options before the verb" "--cacert --connect-to --data-dir --help --help-all --proxy --version -h" --
check "a verb's options" "--engines --first --help --help-all --jobs --last --progress --save-pages --why -h" rank --e
check "the nested verb" "set" sites ""
check "the engines' nested verbs" "check try" engines ""
check "engines as a list" "<sequence compadd - baidu google yahoo sogou soso youdao bing>" rank --engines b
check "sites for overview" "example.com example.org 例子.中国" --data-dir $tmp/data overview ""
check "sites for rank after its options" "example.com example.org 例子.中国" --data-dir $tmp/data rank --last 5 ""
check "no site for the keyword" "" --data-dir $tmp/data rank example.com ""
check "sites for a tracked keyword" "example.com example.org 例子.中国" --data-dir $tmp/data keywords remove ""
check "a file for the body" "<files >" mail --body-file ""
check "no list, no sites" "" overview ""
if [[ -e $XDG_DATA_HOME ]]; then
  print -u2 "FAIL completing made a data folder at $XDG_DATA_HOME"
  (( failures++ ))
fi
exit $(( failures > 0 ))
