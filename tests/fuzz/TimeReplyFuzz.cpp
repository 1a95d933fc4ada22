// From body bytes to the time record: BodyToText, FindText, the slices and
// TextToShort, whatever the server sends.
#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "calibration/Calibration.h"
#include "calibration/TextOps.h"
#include "calibration/TimePage.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Text body(reinterpret_cast<const char*>(data), size);
    SYSTEMTIME time = ParseTimeReply(body);

    // A body without the marker before its first zero byte is no time page.
    TextView text = BodyToText(body);
    if (FindText(text, TimeMarker) == -1) {
        const SYSTEMTIME zero = {};
        if (memcmp(&time, &zero, sizeof time) != 0)
            __builtin_trap();
    }
    if (time.wDayOfWeek != 0 || time.wMilliseconds != 0)
        __builtin_trap();
    Text shown = DateTimeToText(time);
    (void)shown;

    // The operations on their own, with the first bytes as the needle and
    // the slice bounds.
    if (size >= 3) {
        char needle[4] = {static_cast<char>(data[0]), static_cast<char>(data[1]), 0, 0};
        int found = FindText(text, needle);
        if (found != -1 && (found < 1 || static_cast<size_t>(found) > text.length))
            __builtin_trap();
        int start = static_cast<int8_t>(data[2]);
        TextView slice = TextMid(text, start, data[1] % 8);
        (void)TextToShort(slice);
        (void)TextToShort(TextLeft(text, data[0] % 8));
        (void)TextToShort(TextRight(text, data[1] % 8));
    }
    (void)TextToShort(text);
    return 0;
}
