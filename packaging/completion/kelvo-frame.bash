# bash completion for kelvo-frame: its commands, each command's options, and
# the values of --port, --listen, --format, --fault, --baud and --profile.

# The options of COMMAND, or the program's own without one.
_kelvo_frame_options() {
  case ${1-} in
    encode | check) echo --help ;;
    decode) echo --json --gbk --profile --help ;;
    send) echo --port --baud --timeout --retries --json --profile --force --help ;;
    poll) echo --port --baud --timeout --retries --interval --count --address --format --profile --force --help ;;
    listen) echo --port --baud --json --profile --help ;;
    ports) echo --json --help ;;
    simulate) echo --port --listen --address --cells --sensors --fault --seed --help ;;
    *) echo --help --version ;;
  esac
}

# The serial devices present now: adapters, their stable names, pseudo-terminals.
_kelvo_frame_devices() {
  local device
  for device in /dev/ttyUSB* /dev/ttyACM* /dev/serial/by-id/* /dev/pts/[0-9]*; do
    [[ -e $device ]] && printf '%s\n' "$device"
  done
}

_kelvo_frame() {
  local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD - 1]}
  # bash splits "--format=cs" at "=": the option stands one or two words back.
  if [[ $cur == = ]]; then
    cur=
  elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then
    prev=${COMP_WORDS[COMP_CWORD - 2]}
  fi

  # The command is the first word that is not an option; the program's own
  # options take no value.
  local command= i
  for ((i = 1; i < COMP_CWORD; i++)); do
    if [[ ${COMP_WORDS[i]} != -* ]]; then
      command=${COMP_WORDS[i]}
      break
    fi
  done

  local candidates
  if [[ -z $command ]]; then
    if [[ $cur == -* ]]; then
      candidates=$(_kelvo_frame_options)
    else
      candidates="encode decode check send poll listen ports simulate"
    fi
  else
    case $prev in
      --port)
        # simulate serves a device; the others also reach a TCP serial server.
        candidates=$(_kelvo_frame_devices)
        [[ $command == simulate ]] || candidates+=" tcp://"
        ;;
      --listen) candidates="tcp://" ;;
      --format) candidates="text json csv" ;;
      --fault) candidates="drop= corrupt= wrong-address= delay= split noise echo" ;;
      --baud) candidates="1200 2400 4800 9600 19200 38400 57600 115200" ;;
      --profile)
        # A profile file, or none; file names may hold blanks, so not through -W.
        mapfile -t COMPREPLY < <(compgen -f -- "$cur"; compgen -W none -- "$cur")
        return 0
        ;;
      --timeout | --retries | --interval | --count | --address | --cells | --sensors | --seed)
        return 0 # a number: nothing to offer
        ;;
      *)
        [[ $cur == -* ]] || return 0 # frames, addresses, commands, payloads
        candidates=$(_kelvo_frame_options "$command")
        ;;
    esac
  fi

  mapfile -t COMPREPLY < <(compgen -W "$candidates" -- "$cur")
  # "tcp://" and "drop=" are the start of a word, not the whole of it.
  if ((${#COMPREPLY[@]} == 1)) && [[ ${COMPREPLY[0]} == *[/=] ]]; then
    compopt -o nospace 2>/dev/null
  fi
  return 0
}

complete -F _kelvo_frame kelvo-frame
