# bash completion for kestrowctl: commands, options, setting names and the choices of a
# setting, the ports detect finds, files.
_kestrowctl() {
    local cur prev words cword command name port i
    # A network port's URL holds ':', which bash splits words at: take the words whole.
    if declare -F _get_comp_words_by_ref >/dev/null; then
        _get_comp_words_by_ref -n : cur prev words cword
    else
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
        cur="${words[cword]}"
        prev="${words[cword-1]}"
    fi
    command=""
    name=""
    port=""
    for ((i = 1; i < cword; i++)); do
        case "${words[i]}" in
            --port|-p) port="${words[i+1]}" ;;
        esac
        if [[ -z "$command" ]]; then
            case "${words[i]}" in
                detect|status|get|set|dump|load|reset|flash|watch|settings|doctor)
                    command="${words[i]}" ;;
            esac
        elif [[ -z "$name" && "${words[i]}" != -* && "${words[i-1]}" != --port &&
                "${words[i-1]}" != -p ]]; then
            name="${words[i]}"
        fi
    done
    if [[ -z "$command" ]]; then
        COMPREPLY=($(compgen -W "detect status get set dump load reset flash watch settings doctor --help --version" -- "$cur"))
        return
    fi
    case "$prev" in
        --port|-p)
            local IFS=$'\n'
            COMPREPLY=($(compgen -W "$(kestrowctl detect --names 2>/dev/null)" -- "$cur")
                       $(compgen -f -- "$cur"))
            if declare -F __ltrim_colon_completions >/dev/null; then
                __ltrim_colon_completions "$cur"  # bash inserts only what follows the last ':'
            fi
            return ;;
        --interval|-i)
            COMPREPLY=($(compgen -W "0.5 1 2 5" -- "$cur"))
            return ;;
        --values)
            COMPREPLY=($(compgen -W "$(kestrowctl settings --names 2>/dev/null)" -- "$cur"))
            return ;;
    esac
    if [[ "$cur" == -* ]]; then
        local options="--port -p --trace --help -h"
        case "$command" in
            detect) options+=" --json --names" ;;
            status) options+=" --json --all -a" ;;
            get) options+=" --json" ;;
            set) options+=" --json --all -a --force" ;;
            dump) options+=" --all -a" ;;
            load) options+=" --json --all -a" ;;
            reset) options+=" --json --all -a --yes -y" ;;
            flash) options+=" --json --all -a" ;;
            watch) options+=" --json --interval -i" ;;
            settings) options+=" --json --names --values" ;;
            doctor) options="--help -h" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case "$command" in
        get|set)
            if [[ -z "$name" ]]; then
                COMPREPLY=($(compgen -W "$(kestrowctl settings --names 2>/dev/null)" -- "$cur"))
            elif [[ "$command" == set ]]; then
                # The choices this box takes when --port names it, else those any box takes.
                local IFS=$'\n' values=""
                if [[ -n "$port" ]]; then
                    values="$(kestrowctl settings --values "$name" --port "$port" 2>/dev/null)"
                fi
                if [[ -z "$values" ]]; then
                    values="$(kestrowctl settings --values "$name" 2>/dev/null)"
                fi
                # The word as typed, its escapes and quotes taken off.
                local word="${cur//\\/}"
                word="${word#[\"\']}"
                COMPREPLY=($(compgen -W "$values" -- "$word"))
                if ((${#COMPREPLY[@]})); then
                    COMPREPLY=($(printf '%q\n' "${COMPREPLY[@]}"))
                fi
            fi ;;
        dump|load)
            COMPREPLY=($(compgen -f -- "$cur") $(compgen -W "-" -- "$cur")) ;;
        flash)
            COMPREPLY=($(compgen -f -- "$cur")) ;;
    esac
}
complete -F _kestrowctl kestrowctl
