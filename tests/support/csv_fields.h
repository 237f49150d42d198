// Reading back the CSV lines the plugin writes, for unit and end-to-end tests.
#pragma once
#include <string>
#include <vector>

// The fields of one CSV line, unquoted; a quoted field may hold anything.
inline std::vector<std::wstring> csvFields(const std::wstring& line)
{
    std::vector<std::wstring> fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        wchar_t ch = line[i];
        if (quoted) {
            if (ch == L'"' && i + 1 < line.size() && line[i + 1] == L'"') {
                fields.back() += L'"';
                ++i;
            } else if (ch == L'"') {
                quoted = false;
            } else {
                fields.back() += ch;
            }
        } else if (ch == L'"') {
            quoted = true;
        } else if (ch == L',') {
            fields.emplace_back();
        } else {
            fields.back() += ch;
        }
    }
    return fields;
}
