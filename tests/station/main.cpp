#include "tests/support/NetNamespace.h"

#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // Before any thread: the Ethernet tests need a namespace of their own.
    kestrel::test::EnterPrivateNetNamespace();
    kestrel::test::SetAbsentComPorts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
