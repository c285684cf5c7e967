# bash completion for pulsewell(1)                                 -*- shell-script -*-

# The interface names of the device given on the line (--host, --port), else of the
# configured one, one per line; nothing when it does not answer within two seconds.
_pulsewell_interface_names()
{
    local -a connection=()
    local i line
    for ((i = 2; i < cword; i++)); do
        case ${words[i]} in
            --host | --port) connection+=("${words[i]}" "${words[i + 1]-}") ;;
            --host=* | --port=*) connection+=("${words[i]}") ;;
        esac
    done
    timeout 2 pulsewell interfaces "${connection[@]}" </dev/null 2>/dev/null |
        while IFS= read -r line; do
            line=${line#* }              # the up or down mark and its blank
            printf '%s\n' "${line%%  *}" # the counters column and the chosen mark
        done
}

_pulsewell()
{
    local cur prev words cword split
    _init_completion -s || return

    if ((cword == 1)); then
        COMPREPLY=($(compgen -W 'watch interfaces --status --help --version' -- "$cur"))
        return
    fi

    local command=${words[1]}
    case $prev in
        --host)
            _known_hosts_real -- "$cur"
            return
            ;;
        --interface)
            # Device text goes through no expansion: compgen -W would expand it.
            local name
            while IFS= read -r name; do
                [[ $name == "$cur"* ]] && COMPREPLY+=("$(printf '%q' "$name")")
            done < <(_pulsewell_interface_names)
            return
            ;;
        --port | --count | --interval)
            return
            ;;
    esac
    $split && return

    local options
    case $command in
        watch) options='--host --port --interface --bits --swap --count --interval --json --help' ;;
        interfaces) options='--host --port --help' ;;
        *) return ;;
    esac
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
}
complete -F _pulsewell pulsewell

# ex: filetype=sh
