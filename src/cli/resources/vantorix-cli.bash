# bash completion for vantorix-cli: commands, each command's options, the settings lists after
# --set, folders after -o of convert and files elsewhere.

_vantorix_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    COMPREPLY=()

    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "formats probe convert transcode thumbnail --help --version" -- "$cur"))
        return
    fi

    local command=${COMP_WORDS[1]} options
    case $command in
    formats) options="--json --help" ;;
    probe) options="--json --help" ;;
    convert)
        case $prev in
        -o | --output)
            compopt -o filenames 2>/dev/null
            COMPREPLY=($(compgen -d -- "$cur"))
            return
            ;;
        --set)
            # The list names have blanks: escaped, or as they stand after an opening quote.
            local quote= word list
            [[ $cur == [\"\']* ]] && quote=${cur:0:1}
            word=${cur#"$quote"}
            word=${word//\\ / }
            for list in "Video Codec" "Video Size" "Video Bitrate" "Video Framerate" \
                "Audio Codec" "Audio Bitrate" "Audio Channels" "Sampling Rate"; do
                [[ "$list=" == "$word"* ]] || continue
                if [[ -n $quote ]]; then
                    COMPREPLY+=("$quote$list=")
                else
                    COMPREPLY+=("${list// /\\ }=")
                fi
            done
            compopt -o nospace 2>/dev/null
            return
            ;;
        -f | --format | --volume | --threads | --jobs) return ;;
        esac
        options="-f --format -o --output --overwrite --set --volume --threads --jobs --dry-run --json --help"
        ;;
    thumbnail)
        case $prev in
        --at | --width) return ;;
        esac
        options="--at -o --width --exact --help"
        ;;
    transcode) options="-i --help" ;;
    *) return ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    else
        compopt -o filenames 2>/dev/null
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}

complete -F _vantorix_cli vantorix-cli
