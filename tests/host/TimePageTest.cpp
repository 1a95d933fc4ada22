#include "calibration/TimePage.h"

#include <gtest/gtest.h>

#include "TextTesting.h"

using namespace std::string_literals;

namespace {

struct Fields {
    int day, month, year, hour, minute, second;
};

void ExpectFields(const SYSTEMTIME& t, const Fields& f, const std::string& what)
{
    EXPECT_EQ(t.wDay, f.day) << what;
    EXPECT_EQ(t.wMonth, f.month) << what;
    EXPECT_EQ(t.wYear, f.year) << what;
    EXPECT_EQ(t.wHour, f.hour) << what;
    EXPECT_EQ(t.wMinute, f.minute) << what;
    EXPECT_EQ(t.wSecond, f.second) << what;
    EXPECT_EQ(t.wDayOfWeek, 0) << what;
    EXPECT_EQ(t.wMilliseconds, 0) << what;
}

std::string Page(const std::string& stamp)
{
    return "<html><body><h2>Current Time is : " + stamp + "<br></h2></body></html>";
}

}  // namespace

TEST(ParseTimeReply, ReadsTheObservatoryPage)
{
    struct Case {
        std::string stamp;
        Fields fields;
    } cases[] = {
        {"01/01/2026 00:00:00", {1, 1, 2026, 0, 0, 0}},
        {"11/12/2026 13:20:12", {11, 12, 2026, 13, 20, 12}},
        {"31/12/2026 23:59:59", {31, 12, 2026, 23, 59, 59}},
        {"10/07/2010 14:05:09", {10, 7, 2010, 14, 5, 9}},
        {"08/07/2010 14:05:10", {8, 7, 2010, 14, 5, 10}},
    };
    for (const Case& c : cases)
        ExpectFields(ParseTimeReply(T(Page(c.stamp))), c.fields, c.stamp);
}

TEST(ParseTimeReply, ZerosWhenThereIsNoTimeToRead)
{
    struct Case {
        const char* what;
        std::string body;
    } cases[] = {
        {"empty body", ""},
        {"zero byte first", "\0"s + Page("11/12/2026 13:20:12")},
        {"zero byte before the marker", "<h2>\0"s + Page("11/12/2026 13:20:12")},
        {"no marker", "<h2>Current time is : 11/12/2026 13:20:12<br>"},
        {"no marker, digits at byte 10", "123456789011/12/2026 13:20:12"},
        {"marker inside a two-byte character", "\xB0Time is : 11/12/2026 13:20:12"},
        {"marker at the very end", "Time is : "},
    };
    for (const Case& c : cases)
        ExpectFields(ParseTimeReply(T(c.body)), {0, 0, 0, 0, 0, 0}, c.what);
}

TEST(ParseTimeReply, ReadsFixedPositionsRightAfterTheMarker)
{
    struct Case {
        const char* what;
        std::string body;
        Fields fields;
    } cases[] = {
        // Separators are never read, only the positions count.
        {"any separators", "Time is : 03x04y2005z06:07?08", {3, 4, 2005, 6, 7, 8}},
        {"bytes after the window ignored", "Time is : 03/04/2005 06:07:0899999", {3, 4, 2005, 6, 7, 8}},
        {"two lead bytes before the marker", "\xB0\xA1Time is : 03/04/2005 06:07:08", {3, 4, 2005, 6, 7, 8}},
        {"second occurrence after a broken one", "\xB0Time is : xx Time is : 03/04/2005 06:07:08",
         {3, 4, 2005, 6, 7, 8}},
        {"zero byte after the window", "Time is : 03/04/2005 06:07:08\0"s, {3, 4, 2005, 6, 7, 8}},
        {"zero byte cuts the window", "Time is : 03/04/2005 06\0:07:08"s, {3, 4, 2005, 6, 0, 0}},
        {"window of 12 bytes", "Time is : 03/04/2005 0", {3, 4, 2005, 0, 0, 0}},
        {"window of one byte", "Time is : 7", {7, 0, 0, 0, 0, 0}},
        {"blank-padded fields", "Time is :  3/ 4/2005  6: 7: 8", {3, 4, 2005, 6, 7, 8}},
        {"a full-width digit fills a field", "Time is : \xA3\xB7/12/2026 13:20:\xA3\xB9", {7, 12, 2026, 13, 20, 9}},
        {"signs", "Time is : -1/+9/2005 06:07:08", {65535, 9, 2005, 6, 7, 8}},
        {"non-digits", "Time is : ab/cd/efgh ij:kl:mn", {0, 0, 0, 0, 0, 0}},
    };
    for (const Case& c : cases)
        ExpectFields(ParseTimeReply(T(c.body)), c.fields, c.what);
}

namespace {

class RecordingHttp final : public HttpClient {
public:
    explicit RecordingHttp(std::string body) : body_(std::move(body)) {}
    HttpResult Get(const char* url) override
    {
        urls.push_back(url);
        return {T(body_)};
    }
    std::vector<std::string> urls;

private:
    std::string body_;
};

}  // namespace

TEST(FetchTimePage, GetsTheObservatoryPathOverPlainHttp)
{
    RecordingHttp http("<h2>Current Time is : 11/12/2026 13:20:12<br>");
    Text body = FetchTimePage(http);
    EXPECT_EQ(S(body), "<h2>Current Time is : 11/12/2026 13:20:12<br>");
    ASSERT_EQ(http.urls.size(), 1u);
    EXPECT_EQ(http.urls[0].rfind("http://", 0), 0u);
    EXPECT_EQ(http.urls[0].substr(http.urls[0].size() - 21), "/cgi-bin/hko/ntime.pl");
    EXPECT_EQ(http.urls[0].find(':', 5), std::string::npos) << "no explicit port";
}
