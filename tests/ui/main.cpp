// Runs the widget tests on real widgets under the offscreen platform.

#include <QApplication>
#include <QFont>
#include <cstring>
#include <gtest/gtest.h>

// A planner in a process of its own that types and waits to be killed (RecoveryTest.cpp).
int TypeAndWait(const QString& folder, const QString& text);

int main(int argc, char** argv) {
    // A test may start this program again on an offscreen screen of its own, or on an X server
    // of its own where only a real display shows what it looks for.
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.startsWith("offscreen") && platform != "xcb")
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    QApplication::setFont(QFont(QStringLiteral("Noto Sans CJK JP"), 9));
    if (argc == 4 && std::strcmp(argv[1], "--type-and-wait") == 0)
        return TypeAndWait(QString::fromLocal8Bit(argv[2]), QString::fromUtf8(argv[3]));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
