#pragma once
#include "platform/Http.h"
#include "platform/SystemTime.h"
#include "platform/Text.h"

// The observatory's network-time page; the host is set at configure time.
extern const char* const TimePageUrl;

// The marker the observatory prints right before "DD/MM/YYYY HH:MM:SS".
constexpr char TimeMarker[] = "Time is : ";

// The page's body as it arrived, whatever the status; empty on any failure.
Text FetchTimePage(HttpClient& http);

// The date and time printed after the marker, as local time with
// milliseconds 0. Nothing is validated; a page without the marker gives a
// record of zeros, which SetLocalTime refuses.
SYSTEMTIME ParseTimeReply(const Text& body);
