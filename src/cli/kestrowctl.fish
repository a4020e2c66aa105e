# fish completion for kestrowctl: commands, options, setting names and the choices of a
# setting, the ports detect finds, files.
set -l commands detect status get set dump load reset flash watch settings doctor

function __kestrowctl_setting_values
    # The choices of the setting named after "set": this box's when --port names it.
    set -l words (commandline -opc)
    set -l name
    set -l port
    set -l skip
    for w in $words[3..-1]
        if test -n "$skip"
            test "$skip" = port; and set port $w
            set skip
            continue
        end
        switch $w
            case --port -p
                set skip port
            case --interval -i --values
                set skip other
            case '-*'
            case '*'
                test -z "$name"; and set name $w
        end
    end
    test -n "$name"; or return
    if test -n "$port"
        set -l values (kestrowctl settings --values $name --port $port 2>/dev/null)
        if test (count $values) -gt 0
            printf '%s\n' $values
            return
        end
    end
    kestrowctl settings --values $name 2>/dev/null
end

function __kestrowctl_needs_name
    # Only the command so far among the words that are no option nor an option's value.
    set -l words (commandline -opc)
    set -l args 0
    set -l skip 0
    for w in $words[2..-1]
        if test $skip = 1
            set skip 0
            continue
        end
        switch $w
            case --port -p --interval -i --values
                set skip 1
            case '-*'
            case '*'
                set args (math $args + 1)
        end
    end
    test $args -le 1
end

complete -c kestrowctl -f
complete -c kestrowctl -n "not __fish_seen_subcommand_from $commands" -l help -s h -d 'show help'
complete -c kestrowctl -n "not __fish_seen_subcommand_from $commands" -l version -d 'show the version'
complete -c kestrowctl -n "not __fish_seen_subcommand_from $commands" -a detect -d 'list the COM ports and which answer'
complete -c kestrowctl -n "not __fish_seen_subcommand_from $commands" -a status -d "read the box's state"
complete -c kestrowctl -n "not __fish_seen_subcommand_from $commands" -a get -d 'read one setting'
complete -c kestrowctl -n "not __fish_seen_subcommand_from $commands" -a set -d 'write one setting'
complete -c kestrowctl -n "not __fish_seen_subcommand_from $commands" -a dump -d 'save every setting as JSON'
complete -c kestrowctl -n "not __fish_seen_subcommand_from $commands" -a load -d 'write a settings file, read it back'
complete -c kestrowctl -n "not __fish_seen_subcommand_from $commands" -a reset -d 'reset to factory settings'
complete -c kestrowctl -n "not __fish_seen_subcommand_from $commands" -a flash -d 'write firmware'
complete -c kestrowctl -n "not __fish_seen_subcommand_from $commands" -a watch -d 'print the signals, a line per change'
complete -c kestrowctl -n "not __fish_seen_subcommand_from $commands" -a settings -d 'list the settings'
complete -c kestrowctl -n "not __fish_seen_subcommand_from $commands" -a doctor -d 'what keeps a port from working'

# Options of the commands that work on a box.
set -l boxed detect status get set dump load reset flash watch settings
complete -c kestrowctl -n "__fish_seen_subcommand_from $boxed" -l port -s p -r -a '(kestrowctl detect --names 2>/dev/null; __fish_complete_path)' -d "the box's port"
complete -c kestrowctl -n "__fish_seen_subcommand_from $boxed" -l trace -d 'print every frame'
complete -c kestrowctl -n "__fish_seen_subcommand_from $commands" -l help -s h -d 'show help'
complete -c kestrowctl -n '__fish_seen_subcommand_from detect status get set load reset flash watch settings' -l json -d 'print JSON'
complete -c kestrowctl -n '__fish_seen_subcommand_from status set dump load reset flash' -l all -s a -d 'every port that answers'
complete -c kestrowctl -n '__fish_seen_subcommand_from detect settings' -l names -d 'names only'
complete -c kestrowctl -n '__fish_seen_subcommand_from settings' -l values -r -a '(kestrowctl settings --names 2>/dev/null)' -d 'the choices of one setting'
complete -c kestrowctl -n '__fish_seen_subcommand_from set' -l force -d 'write any byte'
complete -c kestrowctl -n '__fish_seen_subcommand_from reset' -l yes -s y -d 'do not ask'
complete -c kestrowctl -n '__fish_seen_subcommand_from watch' -l interval -s i -r -d 'seconds between looks'

# Arguments: setting names, a setting's choices, files.
complete -c kestrowctl -n '__fish_seen_subcommand_from get set; and __kestrowctl_needs_name' -a '(kestrowctl settings --names 2>/dev/null)'
complete -c kestrowctl -n '__fish_seen_subcommand_from set; and not __kestrowctl_needs_name' -a '(__kestrowctl_setting_values)'
complete -c kestrowctl -n '__fish_seen_subcommand_from dump load flash' -F
