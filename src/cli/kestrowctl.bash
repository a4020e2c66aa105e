# bash completion for kestrowctl: commands, options, setting names, files.
_kestrowctl() {
    local cur prev command i
    cur="${COMP_WORDS[COMP_CWORD]}"
    prev="${COMP_WORDS[COMP_CWORD-1]}"
    command=""
    for ((i = 1; i < COMP_CWORD; i++)); do
        case "${COMP_WORDS[i]}" in
            detect|status|get|set|dump|load|reset|flash|settings|doctor) command="${COMP_WORDS[i]}"; break ;;
        esac
    done
    if [[ -z "$command" ]]; then
        COMPREPLY=($(compgen -W "detect status get set dump load reset flash settings doctor --help --version" -- "$cur"))
        return
    fi
    if [[ "$prev" == "--port" || "$prev" == "-p" ]]; then
        COMPREPLY=($(compgen -W "$(ls /dev/ttyUSB* /dev/ttyACM* 2>/dev/null)" -- "$cur"))
        return
    fi
    if [[ "$cur" == -* ]]; then
        local options="--port --trace --help"
        case "$command" in
            detect|status|get) options+=" --json" ;;
            set) options+=" --force" ;;
            reset) options+=" --yes" ;;
            settings) options="--json --names --help" ;;
            doctor) options="--help" ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case "$command" in
        get|set)
            if [[ "$prev" == "$command" ]]; then
                COMPREPLY=($(compgen -W "$(kestrowctl settings --names 2>/dev/null)" -- "$cur"))
            fi ;;
        dump|load)
            COMPREPLY=($(compgen -f -- "$cur") $(compgen -W "-" -- "$cur")) ;;
        flash)
            COMPREPLY=($(compgen -f -- "$cur")) ;;
    esac
}
complete -F _kestrowctl kestrowctl
