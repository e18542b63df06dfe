// The main of test programs that use libcurl: its global set-up runs before
// any test starts a thread.

#include <gtest/gtest.h>

#include "platform/curl_global.h"

int main(int argc, char** argv) {
    const melvara::platform::CurlGlobal curl;
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
