#include "calibration/TimePage.h"

#include "VesmorConfig.h"
#include "calibration/TextOps.h"

const char* const TimePageUrl = "http://" VESMOR_TIME_HOST "/cgi-bin/hko/ntime.pl";

Text FetchTimePage(HttpClient& http) { return http.Get(TimePageUrl).body; }

SYSTEMTIME ParseTimeReply(const Text& body)
{
    SYSTEMTIME time = {};
    TextView text = BodyToText(body);
    int p = FindText(text, TimeMarker);
    if (p == -1)
        return time;  // no time page: better no time than digits from anywhere

    // "DD/MM/YYYY HH:MM:SS" starts on the byte right after the marker.
    TextView window = TextMid(text, p + static_cast<int>(sizeof TimeMarker - 1), 19);
    time.wDay = TextToShort(TextMid(window, 1, 2));
    time.wMonth = TextToShort(TextMid(window, 4, 2));
    time.wYear = TextToShort(TextMid(window, 7, 4));
    time.wHour = TextToShort(TextMid(window, 12, 2));
    time.wMinute = TextToShort(TextMid(window, 15, 2));
    time.wSecond = TextToShort(TextMid(window, 18, 2));
    return time;
}
