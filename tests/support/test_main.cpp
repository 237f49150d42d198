#include "fake_console.h"
#include "fake_host.h"

#include <gtest/gtest.h>

namespace {

// Every test starts from an empty capture and an interactive shell.
class FakeHostReset : public ::testing::EmptyTestEventListener {
    void OnTestStart(const ::testing::TestInfo&) override
    {
        resetFakeHost();
        resetTestOutput();
    }
};

}  // namespace

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::UnitTest::GetInstance()->listeners().Append(new FakeHostReset);
    return RUN_ALL_TESTS();
}
