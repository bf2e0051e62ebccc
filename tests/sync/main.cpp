// Runs the sync tests: an event loop for Qt Network, in Tokyo time (the tool's runs are given
// it too), and the servers stopped at the end.

#include <QCoreApplication>
#include <ctime>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    qputenv("TZ", "Asia/Tokyo");
    tzset();
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
