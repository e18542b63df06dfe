#include "platform/winhttp.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "platform/codepage.h"
#include "raw_server.h"

namespace melvara::platform {
namespace {

using test::CannedReply;
using test::RawServer;
using test::Reply;

constexpr WinHttpDword kWanted = ~WinHttpDword{0};

std::string Part(const char16_t* text, WinHttpDword length) {
    return text == nullptr ? "(null)" : Utf16ToGbk(std::u16string_view(text, length));
}

TEST(WinHttpCrackUrlTest, PartsPointIntoTheGivenText) {
    struct Case {
        const char16_t* url;
        int scheme;
        const char* host;
        int port;
        const char* path;
        const char* extra;
    };
    const Case cases[] = {
        {u"https://music.localhost/p?a=1#f", INTERNET_SCHEME_HTTPS, "music.localhost", 443, "/p",
         "?a=1#f"},
        {u"http://music.localhost", INTERNET_SCHEME_HTTP, "music.localhost", 80, "", ""},
        {u"HTTP://h:8080/a/b", INTERNET_SCHEME_HTTP, "h", 8080, "/a/b", ""},
        {u"http://user:pw@h/x", INTERNET_SCHEME_HTTP, "h", 80, "/x", ""},
        {u"http://[::1]:81/", INTERNET_SCHEME_HTTP, "::1", 81, "/", ""},
        {u"http://h?q", INTERNET_SCHEME_HTTP, "h", 80, "", "?q"},
        {u"http://h/\u6B4C\u66F2.htm", INTERNET_SCHEME_HTTP, "h", 80, "/\xB8\xE8\xC7\xFA.htm", ""},
    };
    for (const Case& c : cases) {
        const std::u16string url = c.url;
        SCOPED_TRACE(Utf16ToGbk(url));
        URL_COMPONENTS parts;
        parts.dwStructSize = sizeof parts;
        parts.dwSchemeLength = parts.dwHostNameLength = parts.dwUrlPathLength =
            parts.dwExtraInfoLength = kWanted;
        ASSERT_TRUE(WinHttpCrackUrl(url.c_str(), 0, 0, &parts));
        EXPECT_EQ(parts.nScheme, c.scheme);
        EXPECT_EQ(Part(parts.lpszHostName, parts.dwHostNameLength), c.host);
        EXPECT_EQ(parts.nPort, c.port);
        EXPECT_EQ(Part(parts.lpszUrlPath, parts.dwUrlPathLength), c.path);
        EXPECT_EQ(Part(parts.lpszExtraInfo, parts.dwExtraInfoLength), c.extra);
        EXPECT_GE(parts.lpszHostName, url.c_str());
        EXPECT_LT(parts.lpszHostName, url.c_str() + url.size());
        EXPECT_EQ(parts.lpszUserName, nullptr);  // length 0: not wanted
    }
}

TEST(WinHttpCrackUrlTest, OnlyAbsoluteHttpAndHttpsCrack) {
    for (const char16_t* url :
         {u"", u"ftp://h/", u"h/path", u"/path", u"http://", u"http:///x", u"http://h:99999/",
          u"http://h:8x/", u"file:///etc/passwd", u"http://h:0/"}) {
        SCOPED_TRACE(Utf16ToGbk(url));
        URL_COMPONENTS parts;
        parts.dwStructSize = sizeof parts;
        parts.dwHostNameLength = kWanted;
        EXPECT_FALSE(WinHttpCrackUrl(url, 0, 0, &parts));
    }
    URL_COMPONENTS wrongSize;
    EXPECT_FALSE(WinHttpCrackUrl(u"http://h/", 0, 0, &wrongSize));
}

// One request through the functions, with the handles closed afterwards.
class Exchange {
  public:
    explicit Exchange(int port, const char16_t* verb = u"GET") {
        session_ = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, u"", nullptr, 0);
        connection_ = WinHttpConnect(session_, u"127.0.0.1", static_cast<INTERNET_PORT>(port), 0);
        request_ = WinHttpOpenRequest(connection_, verb, u"/x", nullptr, nullptr, nullptr, 0);
    }
    ~Exchange() {
        WinHttpCloseHandle(request_);
        WinHttpCloseHandle(connection_);
        WinHttpCloseHandle(session_);
    }
    HINTERNET request() const { return request_; }

    bool Headers(const std::u16string& text, WinHttpDword modifiers) {
        return WinHttpAddRequestHeaders(request_, text.c_str(),
                                        static_cast<WinHttpDword>(text.size()), modifiers);
    }

  private:
    HINTERNET session_;
    HINTERNET connection_;
    HINTERNET request_;
};

constexpr WinHttpDword kAddOrReplace = WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE;

TEST(WinHttpRequestTest, HeadersGoOnTheWireExactlyAsGivenAndReplaceInPlace) {
    RawServer server({{Reply("200 OK", "", "")}});
    Exchange exchange(server.Port(), u"POST");
    ASSERT_NE(exchange.request(), nullptr);
    EXPECT_TRUE(exchange.Headers(u"B:  two \r\nA: 1\r\n\r\nC: 3\r\n", kAddOrReplace));
    EXPECT_TRUE(exchange.Headers(u"b: 2", kAddOrReplace));  // same name: replaced in place
    EXPECT_TRUE(exchange.Headers(u"C:", WINHTTP_ADDREQ_FLAG_REPLACE));  // empty value: removed
    EXPECT_FALSE(exchange.Headers(u"no colon here", kAddOrReplace));
    const std::string body = "x=1";
    ASSERT_TRUE(WinHttpSendRequest(exchange.request(), nullptr, 0, body.data(), 3, 3, 0));
    ASSERT_TRUE(WinHttpReceiveResponse(exchange.request(), nullptr));
    ASSERT_EQ(server.Requests().size(), 1u);
    // No Accept, Expect or Content-Type of libcurl's own.
    EXPECT_THAT(test::HeaderLinesOf(server.Requests()[0]), testing::ElementsAre("b: 2", "A: 1"));
    EXPECT_EQ(test::BodyOf(server.Requests()[0]), "x=1");
}

TEST(WinHttpRequestTest, RawHeadersAreQueriedBySizeThenText) {
    RawServer server({{Reply("200 OK", "X-One: 1\r\n", "")}});
    Exchange exchange(server.Port());
    ASSERT_TRUE(WinHttpSendRequest(exchange.request(), nullptr, 0, nullptr, 0, 0, 0));
    ASSERT_TRUE(WinHttpReceiveResponse(exchange.request(), nullptr));
    WinHttpDword size = 0;
    WinHttpDword index = 0;
    EXPECT_FALSE(WinHttpQueryHeaders(exchange.request(), WINHTTP_QUERY_RAW_HEADERS_CRLF, nullptr,
                                     nullptr, &size, &index));
    EXPECT_EQ(WinHttpLastError(), ERROR_INSUFFICIENT_BUFFER);
    const std::u16string expected = u"HTTP/1.1 200 OK\r\nX-One: 1\r\nContent-Length: 0\r\n\r\n";
    ASSERT_EQ(size, (expected.size() + 1) * 2);
    std::u16string buffer(size / 2, u'?');
    index = 0;
    ASSERT_TRUE(WinHttpQueryHeaders(exchange.request(), WINHTTP_QUERY_RAW_HEADERS_CRLF, nullptr,
                                    buffer.data(), &size, &index));
    EXPECT_EQ(buffer, expected + u'\0');
}

TEST(WinHttpRequestTest, ACutBodyFailsTheReadAfterTheBytesThatArrived) {
    RawServer server({{"HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n0123456789"}});
    Exchange exchange(server.Port());
    ASSERT_TRUE(WinHttpSendRequest(exchange.request(), nullptr, 0, nullptr, 0, 0, 0));
    ASSERT_TRUE(WinHttpReceiveResponse(exchange.request(), nullptr));
    std::string received;
    char buffer[64];
    WinHttpDword available = 0;
    WinHttpDword read = 0;
    bool failed = false;
    while (WinHttpQueryDataAvailable(exchange.request(), &available) && available > 0) {
        if (!WinHttpReadData(exchange.request(), buffer, available, &read)) {
            failed = true;
            break;
        }
        received.append(buffer, read);
    }
    EXPECT_EQ(received, "0123456789");
    EXPECT_TRUE(failed);
    EXPECT_EQ(WinHttpLastError(), ERROR_WINHTTP_CONNECTION_ERROR);
}

TEST(WinHttpHandleTest, MisuseFailsCleanly) {
    EXPECT_FALSE(WinHttpCloseHandle(nullptr));
    HINTERNET session = WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, u"", nullptr, 0);
    ASSERT_NE(session, nullptr);
    // A session is not a request; an unknown option is refused.
    const WinHttpDword value = 1;
    EXPECT_FALSE(WinHttpSetOption(session, WINHTTP_OPTION_DISABLE_FEATURE, &value, 4));
    EXPECT_FALSE(WinHttpReceiveResponse(session, nullptr));
    EXPECT_EQ(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NAMED_PROXY, u"", nullptr, 0), nullptr);
    EXPECT_EQ(WinHttpOpen(nullptr, WINHTTP_ACCESS_TYPE_NO_PROXY, u"", nullptr, WINHTTP_FLAG_ASYNC),
              nullptr);
    EXPECT_EQ(WinHttpConnect(session, u"", 80, 0), nullptr);
    HINTERNET connection = WinHttpConnect(session, u"h.localhost", 80, 0);
    HINTERNET request = WinHttpOpenRequest(connection, u"GET", u"/", nullptr, nullptr, nullptr, 0);
    ASSERT_NE(request, nullptr);
    EXPECT_FALSE(WinHttpSetOption(request, 12345, &value, 4));
    EXPECT_FALSE(WinHttpSetOption(request, WINHTTP_OPTION_DISABLE_FEATURE, &value, 2));
    EXPECT_FALSE(
        WinHttpSetCredentials(request, WINHTTP_AUTH_TARGET_SERVER, 2, u"u", u"p", nullptr));
    EXPECT_FALSE(WinHttpSetTimeouts(request, -2, 0, 0, 0));
    EXPECT_FALSE(WinHttpReadData(request, nullptr, 0, nullptr));  // nothing sent yet
    EXPECT_TRUE(WinHttpCloseHandle(session));  // children stay usable on their own
    EXPECT_TRUE(WinHttpCloseHandle(request));
    EXPECT_FALSE(WinHttpCloseHandle(request));
    EXPECT_TRUE(WinHttpCloseHandle(connection));
}

}  // namespace
}  // namespace melvara::platform
