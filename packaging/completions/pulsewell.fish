# fish completion for pulsewell(1)

# The interface names of the device given on the line (--host, --port), else of the
# configured one; nothing when it does not answer within two seconds.
function __pulsewell_interfaces
    set -l connection
    set -l words (commandline -opc)
    for i in (seq 2 (count $words))
        switch $words[$i]
            case --host --port
                set -a connection $words[$i] $words[(math $i + 1)]
            case '--host=*' '--port=*'
                set -a connection $words[$i]
        end
    end
    # Each line is the up or down mark, a blank, the name and, two blanks or more after it,
    # the counters and, for the chosen one, a mark.
    timeout 2 pulsewell interfaces $connection </dev/null 2>/dev/null |
        string replace -r '^\S+ ' '' | string replace -r '  .*$' ''
end

set -l commands watch interfaces
complete -c pulsewell -f
complete -c pulsewell -n "not __fish_seen_subcommand_from $commands" -a watch \
    -d 'Show the live rates of the configured interface'
complete -c pulsewell -n "not __fish_seen_subcommand_from $commands" -a interfaces \
    -d "List the device's interfaces"
complete -c pulsewell -n "not __fish_seen_subcommand_from $commands" -l status \
    -d 'Show what the running panel entry shows'
complete -c pulsewell -n "not __fish_seen_subcommand_from $commands" -l version \
    -d 'Show the version'
complete -c pulsewell -l help -d 'Show the help'

complete -c pulsewell -n "__fish_seen_subcommand_from $commands" -l host -x -a '(__fish_print_hostnames)' \
    -d 'Device address or host name'
complete -c pulsewell -n "__fish_seen_subcommand_from $commands" -l port -x \
    -d 'UDP port of the SNMP agent'
complete -c pulsewell -n '__fish_seen_subcommand_from watch' -l interface -x \
    -a '(__pulsewell_interfaces)' -d 'Interface to watch'
complete -c pulsewell -n '__fish_seen_subcommand_from watch' -l bits -d 'Show rates in bit/s'
complete -c pulsewell -n '__fish_seen_subcommand_from watch' -l swap -d 'Swap download and upload'
complete -c pulsewell -n '__fish_seen_subcommand_from watch' -l count -x -d 'Stop after N samples'
complete -c pulsewell -n '__fish_seen_subcommand_from watch' -l interval -x \
    -d 'Pause after each sample, in seconds'
complete -c pulsewell -n '__fish_seen_subcommand_from watch' -l json -d 'One JSON object per sample'
