#include <QCoreApplication>
#include <gtest/gtest.h>

// Every suite runs with a Qt application so the main queue and main-thread hops work.
int main(int argc, char** argv) {
    // Suites set the session type they test; a developer's Wayland session must not send their
    // shortcuts to the real desktop.
    qunsetenv("XDG_SESSION_TYPE");
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
