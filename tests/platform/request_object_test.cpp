#include "platform/request_object.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "raw_server.h"

namespace melvara::platform {
namespace {

using test::RawServer;
using test::Reply;

TEST(RequestObjectTest, CreatedByNameOnly) {
    EXPECT_NE(CreateRequestObject("WinHttp.WinHttpRequest.5.1"), nullptr);
    EXPECT_NE(CreateRequestObject("winhttp.winhttprequest.5.1"), nullptr);
    EXPECT_EQ(CreateRequestObject("Adodb.Stream"), nullptr);
}

TEST(RequestObjectTest, HeadersSentAsSetAndResponseReadBack) {
    RawServer server({{Reply("201 Created", "X-A: 1\r\nX-B: 2\r\n", "body"),
                       test::CannedReply::Then::KeepOpen}});
    auto object = CreateRequestObject(kRequestObjectName);
    ASSERT_NE(object, nullptr);
    EXPECT_FALSE(object->SetRequestHeader("Early", "1"));  // before Open
    ASSERT_TRUE(object->Open("GET", server.Url("/a"), false));
    EXPECT_TRUE(object->SetRequestHeader("X-Twice", "1"));
    EXPECT_TRUE(object->SetRequestHeader("x-twice", "2"));
    EXPECT_TRUE(object->SetRequestHeader("Empty", ""));
    EXPECT_FALSE(object->SetRequestHeader("", "v"));
    EXPECT_FALSE(object->SetRequestHeader("Bad", "a\r\nInjected: 1"));
    EXPECT_TRUE(object->SetCredentials("user", "pw", kCredentialsForServer));
    ASSERT_TRUE(object->Send(std::string()));
    EXPECT_EQ(object->Status(), 201);
    EXPECT_EQ(object->GetAllResponseHeaders(), "X-A: 1\r\nX-B: 2\r\nContent-Length: 4\r\n");
    EXPECT_EQ(object->ResponseBody(), (std::vector<std::uint8_t>{'b', 'o', 'd', 'y'}));
    ASSERT_EQ(server.Requests().size(), 1u);
    EXPECT_THAT(test::HeaderLinesOf(server.Requests()[0]),
                testing::ElementsAre("Authorization: Basic dXNlcjpwdw==", "X-Twice: 1",
                                     "x-twice: 2", "Empty:"));

    // Open again: headers and credentials go, the response is dropped.
    ASSERT_TRUE(object->Open("GET", server.Url("/b"), false));
    EXPECT_EQ(object->Status(), 0);
    ASSERT_TRUE(object->Send(std::vector<std::uint8_t>{}));
    ASSERT_EQ(server.Requests().size(), 2u);
    EXPECT_THAT(test::HeaderLinesOf(server.Requests()[1]), testing::IsEmpty());
}

TEST(RequestObjectTest, AsynchronousOrUnopenedRequestsAreRefused) {
    auto object = CreateRequestObject(kRequestObjectName);
    EXPECT_FALSE(object->Send(std::string()));
    EXPECT_FALSE(object->Open("GET", "http://h.localhost/", true));
    EXPECT_FALSE(object->Send(std::string()));
    EXPECT_TRUE(object->Open("GET", "ftp://h.localhost/", false));
    EXPECT_FALSE(object->Send(std::string()));  // only http and https are fetched
    EXPECT_TRUE(object->ResponseBody().empty());
    EXPECT_EQ(object->Status(), 0);
}

}  // namespace
}  // namespace melvara::platform
