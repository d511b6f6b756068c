#include "tests/support/NetNamespace.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Every port a test does not point at its own pseudo-terminal leads nowhere,
    // so no test opens a serial port of the machine.
    kestrel::test::SetAbsentComPorts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
