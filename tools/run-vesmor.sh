#!/usr/bin/env bash
# make run, inside the sandbox. With a display of the caller's, Vesmor.exe is
# started for the user to try. Without one, it runs on the sandbox's virtual
# display: one click on 开始校准, the status line printed, a screenshot saved
# as BUILD/screenshot.png.
set -euo pipefail
win=$(cd "$1" && pwd)

if [[ "${VESMOR_USE_HOST_DISPLAY:-}" == 1 ]]; then
    exec wine "$win/Vesmor.exe"
fi

coproc DEMO { wine "$win/tests/win/VesmorDemo.exe" "$(winepath -w "$win/Vesmor.exe" 2>/dev/null)" 2>&1; }
demo_pid=$DEMO_PID  # bash unsets DEMO_PID once the coprocess has ended
result=1
while IFS= read -r line <&"${DEMO[0]}"; do
    line=${line%$'\r'}
    case $line in
    STATUS\ *)
        printf '%b\n' "${line#STATUS }"
        ;;
    RECT\ *)
        read -r _ left top right bottom <<<"$line"
        sleep 0.5  # let the status line paint
        margin=24
        import -window root -crop "$((right - left + 2 * margin))x$((bottom - top + 2 * margin))+$((left - margin))+$((top - margin))" \
            "$win/screenshot.png"
        echo "Screenshot: $win/screenshot.png" >&2
        echo close >&"${DEMO[1]}"
        ;;
    EXIT\ 0)
        result=0
        ;;
    *)
        echo "$line" >&2
        ;;
    esac
done
wait "$demo_pid" || result=1
exit "$result"
