#include <cstdlib>

#include <gtest/gtest.h>

#include "app/converter_app.h"

// The GUI tests share one application object, as the program does.
int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::testing::InitGoogleTest(&argc, argv);
    rowsmith::CConverterApp app(argc, argv);
    return RUN_ALL_TESTS();
}
