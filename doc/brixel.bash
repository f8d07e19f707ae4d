# bash completion for brixel: commands, options, .map files, and file names
# after the options that take one (-dest:, -wprops:, -sc:).
_brixel()
{
    # The word as typed, even where ":" breaks words for readline.
    local line=${COMP_LINE:0:COMP_POINT}
    local cur=${line##*[[:space:]]}
    local options="-ru -y -v --help -h --version -dt: -dst: -ddt: -dat: -rt: -de: -dse: -dae: -dl: -kl:
        -nuid: -rptx -rntn -valve -dest: -wprops: -sc: -ba: -ea:"
    local commands="concat extract mkid rmid rmdpid help"
    local reply=() name
    case $cur in
        -dest:* | -wprops:* | -sc:* | -DEST:* | -WPROPS:* | -SC:*)
            while IFS= read -r name; do
                [ -d "$name" ] && name+=/
                reply+=("${cur%%:*}:$name")
            done < <(compgen -f -- "${cur#*:}")
            compopt -o nospace 2>/dev/null
            ;;
        -*)
            reply=($(compgen -W "$options" -- "$cur"))
            [ ${#reply[@]} -eq 1 ] && [ "${reply[0]: -1}" = ":" ] && compopt -o nospace 2>/dev/null
            ;;
        *)
            while IFS= read -r name; do
                if [ -d "$name" ]; then
                    reply+=("$name/")
                    compopt -o nospace 2>/dev/null
                else
                    reply+=("$name")
                fi
            done < <(compgen -W "$commands" -- "$cur"; compgen -f -X '!*.[mM][aA][pP]' -- "$cur"; compgen -d -- "$cur")
            ;;
    esac
    # Readline replaces only the part after the last ":" of the word.
    if [[ $cur == *:* && $COMP_WORDBREAKS == *:* ]]; then
        local head=${cur%"${cur##*:}"}
        reply=("${reply[@]#"$head"}")
    fi
    COMPREPLY=("${reply[@]}")
}
complete -F _brixel brixel brixel.exe
