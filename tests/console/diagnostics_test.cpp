#include "console/diagnostics.h"
#include "fake_host.h"

#include <gtest/gtest.h>

TEST(ErrorPrefixTest, NamesThePluginAndInsideABatchFileItsNameAndLine)
{
    printErrorPrefix();
    EXPECT_EQ(L"Kinfold plugin: ", gFakeHost.err);

    gFakeHost.err.clear();
    gFakeHost.variables[L"_batch"] = L"1";
    gFakeHost.variables[L"_batchname"] = L"C:\\jobs\\100%done.btm";
    gFakeHost.variables[L"_batchline"] = L"7";
    reportError(L"Bad width: \"%s\"\r\n", L"ABC");
    EXPECT_EQ(L"Kinfold plugin: C:\\jobs\\100%done.btm [7]  Bad width: \"ABC\"\r\n", gFakeHost.err);

    // Only the first character counts: anything not starting with 0 is a batch file.
    gFakeHost.err.clear();
    gFakeHost.variables[L"_batch"] = L"02";
    printErrorPrefix();
    EXPECT_EQ(L"Kinfold plugin: ", gFakeHost.err);
}

TEST(FormatSystemErrorTest, GivesOneLineForEveryCode)
{
    wchar_t text[ERROR_TEXT_COUNT];
    EXPECT_EQ(0, formatSystemError(0xFFFFFFFF, text));
    EXPECT_STREQ(L"Unknown error", text);

    EXPECT_EQ(0, formatSystemError(ERROR_FILE_NOT_FOUND, text));
    std::wstring fileNotFound(text);
    EXPECT_FALSE(fileNotFound.empty());
    EXPECT_EQ(std::wstring::npos, fileNotFound.find_first_of(L"\r\n"));
    EXPECT_FALSE(iswspace(fileNotFound.back()));

    // Codes without a text print as signed numbers. Internet error
    // codes without wininet loaded fall back to the system table.
    EXPECT_EQ(0, formatSystemError(0xE0001234, text));
    EXPECT_STREQ(L"Error -536866252", text);
    EXPECT_EQ(0, formatSystemError(12345, text));
    EXPECT_STREQ(L"Error 12345", text);

    EXPECT_EQ(-1, formatSystemError(2, nullptr));
}
