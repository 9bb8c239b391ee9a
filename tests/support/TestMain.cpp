#include <QCoreApplication>
#include <gtest/gtest.h>

// Every suite runs with a Qt application so the main queue and main-thread hops work.
int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
