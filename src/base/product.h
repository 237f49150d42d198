// The product's name and version, as the host, the help texts and the
// messages show them.
#pragma once

const wchar_t PLUGIN_NAME[] = L"Kinfold";
const unsigned PLUGIN_MAJOR = 1;
const unsigned PLUGIN_MINOR = 1;
const unsigned PLUGIN_BUILD = 1;
