#include "console/line_output.h"

#include "render_fixture.h"

#include <memory>
#include <string>
#include <vector>

namespace {

// Text that does not fit sends what is gathered first; a text longer than a
// whole line goes in parts, never between the halves of a surrogate pair.
TEST_F(RenderTest, TextsBeyondTheLineCapacityLeaveWholeAndInOrder)
{
    FakeConsoleScope console;
    gFakeHost.attribute = 0x07;
    gFakeConsole.attribute = 0x07;
    ASSERT_EQ(0x0Fu, loadHighlightAttributes(&gTestOutput));
    std::unique_ptr<LineText> line(new LineText);
    startLine(line.get(), &gTestOutput);
    std::wstring gathered(LINE_TEXT_COUNT - 100, L'a');
    std::wstring name(200, L'n');
    appendToLine(line.get(), gathered.c_str());
    appendInAttribute(line.get(), name.c_str(), 0xF0);
    appendToLine(line.get(), L" (1)");
    EXPECT_EQ(0, writeLine(line.get()));
    EXPECT_EQ((std::vector<std::wstring>{L"H07 " + gathered, L"CF0 " + name, L"H07  (1)", L"H07 \r\n"}),
              outputTranscript());

    gFakeHost.pieces.clear();
    std::wstring head(LINE_TEXT_COUNT - 2, L'x');
    appendToLine(line.get(), L"0010  ");
    appendToLine(line.get(), (head + L"\xD83D\xDE00yz").c_str());
    appendToLine(line.get(), L" end");
    EXPECT_EQ(0, writeLine(line.get()));
    EXPECT_EQ((std::vector<std::wstring>{L"H07 0010  ", L"H07 " + head, L"H07 \xD83D\xDE00yz end", L"H07 \r\n"}),
              outputTranscript());
}

}  // namespace
