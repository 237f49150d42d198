// The product's name and version, as the host, the help texts and the
// messages show them.
#pragma once

#include "base/version.h"

const wchar_t PLUGIN_NAME[] = L"Kinfold";
const unsigned PLUGIN_MAJOR = KF_VERSION_MAJOR;
const unsigned PLUGIN_MINOR = KF_VERSION_MINOR;
const unsigned PLUGIN_BUILD = KF_VERSION_PATCH;
