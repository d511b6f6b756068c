#include "tests/link/LinkTestSupport.h"
#include "tests/support/NetNamespace.h"

#include <gtest/gtest.h>

namespace kestrel::test {
std::string namespaceProblem;
}

int main(int argc, char** argv) {
    using namespace kestrel::test;
    if (!EnterPrivateNetNamespace(&namespaceProblem) && namespaceProblem.empty())
        namespaceProblem = "no private network namespace";
    SetAbsentComPorts();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
