// SPDX-License-Identifier: GPL-3.0-or-later
// Widget tests run inside the program's own application object, offscreen.

#include "shell/application.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    testing::InitGoogleTest(&argc, argv);
    corvane::CorvaneApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
