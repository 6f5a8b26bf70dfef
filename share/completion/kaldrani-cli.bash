# bash completion for kaldrani-cli
# Verbs and options are read from the program's own --help, so they follow the installed
# version; the site names for overview, history, rank and keywords come from the site list.

# Prints one line per entry of "PROGRAM PATH... --help": "verb NAME", "positional NAME",
# or "option NAME value|flag".
_kaldrani_cli_entries()
{
    "$@" --help 2>/dev/null | awk '
        /^[A-Z][A-Za-z ]*:$/ { section = $0; next }
        /^  [^ ]/ {
            split(substr($0, 3), chunk, /  +/)
            n = split(chunk[1], word, " ")
            if (section == "Options:") {
                k = split(word[1], name, ",")
                for (i = 1; i <= k; i++)
                    print "option", name[i], (n > 1 ? "value" : "flag")
            } else if (section == "Subcommands:") {
                print "verb", word[1]
            } else if (section == "Positionals:") {
                print "positional", word[1]
            }
        }'
}

# The engines' typed names, as "PROGRAM rank --help" lists them for --engines.
_kaldrani_cli_engines()
{
    "$1" rank --help 2>/dev/null | sed -n 's/.*--engines.* of \([a-z0-9,]*\) (default all).*/\1/p' | tr ',' ' '
}

# The sites of the site list under data folder base $2 (default: the program's own), read
# through the program so the list's GBK comes out as UTF-8. A missing list is not made.
_kaldrani_cli_sites()
{
    local program=$1 base=${2:-${XDG_DATA_HOME:-$HOME/.local/share}/kaldrani}
    [[ -f $base/vemro/website.txt ]] || return 0
    "$program" --data-dir "$base" sites 2>/dev/null
}

_kaldrani_cli()
{
    local cur=${COMP_WORDS[COMP_CWORD]} prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    local program=${COMP_WORDS[0]/#\~/$HOME}
    local -a path=()
    local entries datadir= positionals=0 i word takes_value=

    entries=$(_kaldrani_cli_entries "$program")
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ -n $takes_value ]]; then
            [[ $takes_value == --data-dir ]] && datadir=${word/#\~/$HOME}
            takes_value=
        elif [[ $word == -* ]]; then
            grep -qx "option ${word%%=*} value" <<<"$entries" && [[ $word != *=* ]] && takes_value=${word}
        elif ((positionals == 0)) && grep -qx "verb $word" <<<"$entries"; then
            path+=("$word")
            entries=$(_kaldrani_cli_entries "$program" "${path[@]}")
        else
            positionals=$((positionals + 1))
        fi
    done

    COMPREPLY=()
    if [[ -n $takes_value ]]; then
        case $takes_value in
        --data-dir | --save-pages)
            mapfile -t COMPREPLY < <(compgen -d -- "$cur")
            compopt -o filenames 2>/dev/null
            ;;
        --body-file | --list-file | --failed-file)
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            compopt -o filenames 2>/dev/null
            ;;
        --tls)
            mapfile -t COMPREPLY < <(compgen -W "auto starttls implicit none" -- "$cur")
            ;;
        --engines)
            local done_part= engine
            [[ $cur == *,* ]] && done_part=${cur%,*},
            for engine in $(_kaldrani_cli_engines "$program"); do
                [[ ,$done_part == *,$engine,* ]] && continue
                [[ $done_part$engine == "$cur"* ]] && COMPREPLY+=("$done_part$engine")
            done
            compopt -o nospace 2>/dev/null
            ;;
        esac
        return 0
    fi
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$(awk '$1 == "option" { print $2 }' <<<"$entries")" -- "$cur")
        return 0
    fi
    if ((positionals == 0)); then
        mapfile -t COMPREPLY < <(compgen -W "$(awk '$1 == "verb" { print $2 }' <<<"$entries")" -- "$cur")
    fi
    case "${path[*]}:$positionals" in
    overview:0 | history:0 | rank:0 | "keywords list:0" | "keywords add:0" | "keywords remove:0")
        local site
        while IFS= read -r site; do
            site=${site%$'\r'}
            [[ -n $site && $site == "$cur"* ]] && COMPREPLY+=("$site")
        done < <(_kaldrani_cli_sites "$program" "$datadir")
        ;;
    "sites set:0" | "engines try:1")
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
        compopt -o filenames 2>/dev/null
        ;;
    "engines try:0")
        mapfile -t COMPREPLY < <(compgen -W "$("$program" engines 2>/dev/null | cut -f1)" -- "$cur")
        ;;
    esac
    return 0
}

complete -F _kaldrani_cli kaldrani-cli
