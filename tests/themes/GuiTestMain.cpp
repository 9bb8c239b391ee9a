#include <QGuiApplication>
#include <gtest/gtest.h>

// SVG icons are drawn, which needs a QGuiApplication; off screen, as the commands that draw.
int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
