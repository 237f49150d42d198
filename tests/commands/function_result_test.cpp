#include "commands/function_result.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Fails when a shorter member is let in after a longer one was refused, which
// would leave a gap in the list that a batch file cannot see.
TEST(MemberLineTest, NothingIsAppendedAfterTheFirstRefusal)
{
    std::vector<wchar_t> text(13, L'#');
    MemberLine line;
    ASSERT_TRUE(startMemberLine(&line, text.data(), text.size()));
    EXPECT_TRUE(appendMember(&line, L"r.exe"));
    EXPECT_FALSE(appendMember(&line, L"longname.exe"));
    EXPECT_FALSE(appendMember(&line, L"s.exe"));
    finishMemberLine(&line, false);
    EXPECT_EQ(L"r.exe", std::wstring(text.data()));
    EXPECT_EQ(1u, line.members);
    EXPECT_FALSE(startMemberLine(&line, nullptr, 10));
    EXPECT_FALSE(startMemberLine(&line, text.data(), 0));
}
