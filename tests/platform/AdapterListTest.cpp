#include "platform/AdapterList.h"
#include "tests/support/NetNamespace.h"

#include <gtest/gtest.h>

namespace {
std::string namespaceProblem;
}

TEST(AdapterList, lists_the_two_veths_of_a_namespace_in_name_order_without_loopback) {
    if (!namespaceProblem.empty()) GTEST_SKIP() << namespaceProblem;
    EXPECT_TRUE(kestrel::ReadAdapterList().empty());
    std::string why;
    ASSERT_TRUE(kestrel::test::AddVethPair("zeta0", "alpha0", &why)) << why;
    EXPECT_EQ(kestrel::ReadAdapterList(), (std::vector<std::string>{"alpha0", "zeta0"}));
    kestrel::test::DeleteLink("zeta0");
    EXPECT_TRUE(kestrel::ReadAdapterList().empty());
}

int main(int argc, char** argv) {
    if (!kestrel::test::EnterPrivateNetNamespace(&namespaceProblem) && namespaceProblem.empty())
        namespaceProblem = "no private network namespace";
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
