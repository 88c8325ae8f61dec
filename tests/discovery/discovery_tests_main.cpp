// The globals live for the whole run, as they do in the program: the lists only
// grow, so every test uses keys and links of its own.
#include <gtest/gtest.h>

#include "app/globals.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ConstructGlobals();
    const int result = RUN_ALL_TESTS();
    DestroyGlobals();
    return result;
}
