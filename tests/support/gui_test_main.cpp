// The main of test programs that use the real window: libcurl's global set-up
// runs before any thread starts, and the toolkit runs offscreen unless told
// otherwise (test discovery runs the binary without the test environment).

#include <gtest/gtest.h>
#include <QApplication>

#include "platform/curl_global.h"

int main(int argc, char** argv) {
    const melvara::platform::CurlGlobal curl;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
