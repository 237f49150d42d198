#include "console/line_output.h"

#include "console/highlight.h"
#include "fake_console.h"
#include "fake_host.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

class LineOutputTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        line_.reset(new LineText);
        line_->output = &gTestOutput;
        line_->length = 0;
        line_->text[0] = L'\0';
        line_->runCount = 0;
    }
    void colourOn()
    {
        gFakeHost.attribute = 0x07;
        gFakeConsole.attribute = 0x07;
        ASSERT_EQ(0x0Fu, loadHighlightAttributes(&gTestOutput));
    }
    void add(const std::wstring& text)
    {
        wcscpy(line_->text + line_->length, text.c_str());
        line_->length += text.size();
    }
    void addRun(const std::wstring& text, uint8_t attribute)
    {
        line_->runs[line_->runCount++] = ColouredRun{static_cast<uint16_t>(line_->length),
                                                     static_cast<uint16_t>(text.size()), attribute};
        add(text);
    }
    FakeConsoleScope console_;
    std::unique_ptr<LineText> line_;
};

// With colour off the stretches stay in the line's one host call: each call can cost
// the shell a write of its own.
TEST_F(LineOutputTest, ColourOffSendsTheWholeLineInOneHostCall)
{
    add(L"0038  ");
    addRun(L"services", 0x0F);
    add(L"  ");
    addRun(L"Svc", 0x07);
    EXPECT_EQ(0, writeLine(line_.get()));
    EXPECT_EQ((std::vector<std::wstring>{L"H07 0038  services  Svc", L"H07 \r\n"}), outputTranscript());
    EXPECT_TRUE(gFakeConsole.attributeLog.empty());
    EXPECT_EQ(0, gFakeHost.setColorsCalls);
}

TEST_F(LineOutputTest, ColouredRunsGoToTheConsoleInOrderAndTheNormalAttributeComesBack)
{
    colourOn();
    add(L"0038  ");
    addRun(L"services", 0xF0);
    add(L"  ");
    // A character beyond the BMP: a space and a backspace follow it.
    addRun(L"a\xD83D\xDE00", 0x0F);
    add(L" (3)");
    EXPECT_EQ(0, writeLine(line_.get()));
    EXPECT_EQ((std::vector<std::wstring>{L"H07 0038  ", L"CF0 services", L"H07   ", L"C0F a\xD83D\xDE00",
                                         L"C0F  \b", L"H07  (3)", L"H07 \r\n"}),
              outputTranscript());
    EXPECT_EQ(0x07, gFakeHost.lastColors);

    // The line is empty again: only its end goes out.
    gFakeHost.pieces.clear();
    EXPECT_EQ(0, writeLine(line_.get()));
    EXPECT_EQ((std::vector<std::wstring>{L"H07 \r\n"}), outputTranscript());
}

// A line of 4,095 units and its terminator fill the buffer and go in one
// call; pieces of 4,096 send the first ahead. Fault: a piece that exactly
// fills the buffer taken as it is: its terminator lands on the line's
// length and the whole line is lost, only its end comes out.
TEST_F(LineOutputTest, PiecesThatFillTheBufferLeaveWhole)
{
    const struct {
        size_t first;
        size_t calls;  // host calls for the text
    } cases[] = {{LINE_TEXT_COUNT - 11, 1}, {LINE_TEXT_COUNT - 10, 2}};
    const std::wstring second(10, L'b');
    for (const auto& c : cases) {
        gFakeHost.out.clear();
        gFakeHost.pieces.clear();
        const std::wstring first(c.first, L'a');
        startLine(line_.get(), &gTestOutput);
        appendToLine(line_.get(), first.c_str());
        appendToLine(line_.get(), second.c_str());
        EXPECT_EQ(0, writeLine(line_.get()));
        EXPECT_EQ(c.first + second.size() + 2, gFakeHost.out.size()) << c.first;
        EXPECT_TRUE(gFakeHost.out == first + second + L"\r\n") << c.first;
        EXPECT_EQ(c.calls + 1, gFakeHost.pieces.size()) << c.first;
    }
}

}  // namespace
