# bash completion for kestrowctl: commands, options, setting names and the choices of a
# setting, the ports detect finds, files.
_kestrowctl() {
    local cur prev command name port i
    cur="${COMP_WORDS[COMP_CWORD]}"
    prev="${COMP_WORDS[COMP_CWORD-1]}"
    command=""
    name=""
    port=""
    for ((i = 1; i < COMP_CWORD; i++)); do
        case "${COMP_WORDS[i]}" in
            --port|-p) port="${COMP_WORDS[i+1]}" ;;
        esac
        if [[ -z "$command" ]]; then
            case "${COMP_WORDS[i]}" in
                detect|status|get|set|dump|load|reset|flash|watch|settings|doctor)
                    command="${COMP_WORDS[i]}" ;;
            esac
        elif [[ -z "$name" && "${COMP_WORDS[i]}" != -* && "${COMP_WORDS[i-1]}" != --port &&
                "${COMP_WORDS[i-1]}" != -p ]]; then
            name="${COMP_WORDS[i]}"
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
