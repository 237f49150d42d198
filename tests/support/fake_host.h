// A capturing stand-in for the host library, linked into the unit tests in
// place of TakeCmd.dll: everything the plugin prints lands in these strings,
// so tests can assert exact output.
#pragma once
#include <map>
#include <string>
#include <vector>

// One call that put text on the screen: through the host (Printf, QPuts,
// CrLf) or straight to the console, with the console attribute in force.
struct OutputPiece {
    bool console;
    unsigned attribute;
    std::wstring text;
};

struct FakeHost {
    std::wstring out;   // standard output, including text written straight to the console
    std::wstring err;   // standard error
    std::vector<OutputPiece> pieces;  // what went to out, call by call, host and console interleaved
    std::map<std::wstring, std::wstring> variables;  // for ExpandVariables; names lower-case
    unsigned attribute = 0x07;        // what GetAttribute reports
    int lastColors = -1;              // the last SetColors value
    int setColorsCalls = 0;
    std::wstring ipcAnswer;           // TakeCommandIPC("HWND") answer
    bool parseColorsGivesBackground64 = false;  // mimic hosts that report "no background" as 64
    // Off for output too large to keep (a 100,000-line tree): out and pieces
    // stay empty, the line ends are counted and the last line is kept.
    bool keepOutput = true;
    uint64_t lineEnds = 0;
    std::wstring lastLine;
    std::wstring currentLine;
};
extern FakeHost gFakeHost;

// The pieces one per entry: "H" for the host or "C" for the console, the
// attribute in two hex digits, a blank, the text.
std::vector<std::wstring> outputTranscript();

// Clears the captures and sets the variables of an interactive shell outside
// any batch file.
void resetFakeHost();
