// The fetch through the real WinINet, against the sandbox's time server.
#include "platform/win32/WinInetClient.h"

#include <gtest/gtest.h>

#include <string>

#include "ServerControl.h"
#include "VesmorConfig.h"
#include "calibration/TimePage.h"

namespace {

std::string Fetch(HttpClient& http)
{
    Text body = FetchTimePage(http);
    return std::string(body.Data(), body.Length());
}

std::string HeaderValue(const std::string& head, const std::string& name)
{
    size_t at = 0;
    while ((at = head.find("\r\n", at)) != std::string::npos) {
        at += 2;
        if (head.compare(at, name.size() + 1, name + ":") == 0) {
            size_t start = head.find_first_not_of(' ', at + name.size() + 1);
            return head.substr(start, head.find("\r\n", start) - start);
        }
    }
    return "(none)";
}

class WinInetClientTest : public ::testing::Test {
protected:
    void SetUp() override { sandbox::Reset(); }
    void TearDown() override { sandbox::Reset(); }
    WinInetClient http;
};

}  // namespace

TEST_F(WinInetClientTest, SendsAPlainUncachedHttp10Get)
{
    sandbox::Queue(R"({"body": "first", "repeat": 2, "headers": {"Cache-Control": "max-age=3600"}})");
    EXPECT_EQ(Fetch(http), "first");
    EXPECT_EQ(Fetch(http), "first");

    std::vector<std::string> requests = sandbox::Requests();
    ASSERT_EQ(requests.size(), 2u) << "the second fetch must not come from a cache";
    for (const std::string& head : requests) {
        EXPECT_EQ(head.substr(0, head.find("\r\n")), "GET /cgi-bin/hko/ntime.pl HTTP/1.0");
        EXPECT_EQ(HeaderValue(head, "User-Agent"), "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT 5.0)");
        EXPECT_NE(HeaderValue(head, "Accept").find("*/*"), std::string::npos) << head;
        EXPECT_EQ(HeaderValue(head, "Referer"), "(none)");
        EXPECT_EQ(HeaderValue(head, "Host"), VESMOR_TIME_HOST);
    }
}

TEST_F(WinInetClientTest, ReadsBodiesOfEverySizeToTheEnd)
{
    // Around the two read-buffer sizes, and well past them, with the length
    // declared, undeclared (ends at close) and chunked.
    const char* framings[] = {R"("content_length": true)", R"("content_length": false)", R"("chunked": true)"};
    for (long size : {1L, 10239L, 10240L, 10241L, 102399L, 102400L, 102401L, 3L * 1024 * 1024}) {
        for (const char* framing : framings) {
            sandbox::Queue("{\"page_offset_s\": 0, \"pad_to\": " + std::to_string(size) + ", " + framing + "}");
            std::string body = Fetch(http);
            EXPECT_EQ(body.size(), static_cast<size_t>(size)) << framing;
            if (size > 100) {
                EXPECT_NE(body.find("Time is : "), std::string::npos) << size << " " << framing;
            }
        }
    }
}

TEST_F(WinInetClientTest, ErrorStatusBodiesAreReadLikeAnyOther)
{
    sandbox::Queue(R"({"status": 404, "body": "<h2>Current Time is : 11/12/2026 13:20:12<br>"})");
    Text body = FetchTimePage(http);
    SYSTEMTIME time = ParseTimeReply(body);
    EXPECT_EQ(time.wYear, 2026);
    EXPECT_EQ(time.wDay, 11);
    EXPECT_EQ(time.wSecond, 12);
}

TEST_F(WinInetClientTest, FollowsARedirect)
{
    sandbox::Queue(R"([{"redirect": "/cgi-bin/hko/moved.pl"}, {"body": "moved here"}])");
    EXPECT_EQ(Fetch(http), "moved here");
    std::vector<std::string> requests = sandbox::Requests();
    ASSERT_EQ(requests.size(), 2u);
    // Wine sends the follow-up as HTTP/1.1; only the target is ours to check.
    EXPECT_EQ(requests[1].rfind("GET /cgi-bin/hko/moved.pl HTTP/", 0), 0u) << requests[1];
}

TEST_F(WinInetClientTest, KeepsWhatArrivedBeforeTheConnectionWasCut)
{
    sandbox::Queue(R"({"page_offset_s": 0, "pad_to": 50000, "cut_after": 20000})");
    std::string body = Fetch(http);
    EXPECT_EQ(body.size(), 20000u);
    EXPECT_NE(body.find("Time is : "), std::string::npos);
}

TEST_F(WinInetClientTest, GivesAnEmptyBodyWhenNothingAnswers)
{
    struct Case {
        const char* what;
        void (*arrange)();
    } cases[] = {
        {"connection refused", [] { sandbox::Listen(false); }},
        {"connection closed without a reply", [] { sandbox::Queue(R"({"close": true})"); }},
    };
    for (const Case& c : cases) {
        sandbox::Reset();
        c.arrange();
        EXPECT_EQ(Fetch(http), "") << c.what;
    }
    sandbox::Reset();
    EXPECT_NE(Fetch(http).find("Time is : "), std::string::npos) << "the client recovers once the server is back";
}

TEST_F(WinInetClientTest, GivesAnEmptyBodyForAHostThatDoesNotResolve)
{
    // WinINet keeps an address for the life of the process, so this asks
    // for a name never looked up here.
    EXPECT_EQ(http.Get("http://unresolvable.invalid/cgi-bin/hko/ntime.pl").body.Length(), 0u);
    EXPECT_TRUE(sandbox::Requests().empty());
}
