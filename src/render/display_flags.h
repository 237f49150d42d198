// The option bit word both commands build and the renderer reads.
#pragma once
#include <stdint.h>

typedef uint32_t DisplayFlags;

const DisplayFlags OPT_ASCII = 0x1;
const DisplayFlags OPT_ASCII_ELLIPSIS = 0x2;
const DisplayFlags OPT_DECIMAL_PID = 0x4;
const DisplayFlags OPT_NO_SERVICES = 0x8;
const DisplayFlags OPT_NO_TITLES = 0x10;
const DisplayFlags OPT_NO_TREE = 0x20;
const DisplayFlags OPT_NO_DISPLAY_NAMES = 0x40;
const DisplayFlags OPT_THREADS = 0x80;
const DisplayFlags OPT_PARENT_PID = 0x100;
const DisplayFlags OPT_PRIORITY = 0x200;
const DisplayFlags OPT_START_TIME = 0x400;
const DisplayFlags OPT_TIME_DATE = 0x800;
const DisplayFlags OPT_TIME_SECONDS = 0x1000;
const DisplayFlags OPT_TIME_MILLIS = 0x2000;
const DisplayFlags OPT_EXTRA_INFO = 0x4000;
const DisplayFlags OPT_OPEN_PROCESSES = 0x8000;
const DisplayFlags OPT_SERVICES_ROOT = 0x10000;
const DisplayFlags OPT_KEEP_EXTENSIONS = 0x20000;
const DisplayFlags OPT_COUNT = 0x40000;
const DisplayFlags OPT_MEMORY = 0x80000;
const DisplayFlags OPT_MEMORY_BYTES = 0x100000;
const DisplayFlags OPT_MEMORY_FRACTION = 0x200000;
const DisplayFlags OPT_FULL_PATH = 0x400000;
const DisplayFlags OPT_REVERSE = 0x800000;
const DisplayFlags OPT_CSV = 0x1000000;
const DisplayFlags OPT_SUBTREE_SUMS = 0x2000000;  // KINFOLD /SUM: each line totals what is shown below it
const DisplayFlags OPT_COMMAND_LINE = 0x4000000;  // /CMD: the display text is the command line (never with /F)
// KINFOLD's choice of trees; the renderer never reads them.
const DisplayFlags OPT_ALL_ROOTS = 0x10000000;      // /ALL: every topmost match, or the whole system
const DisplayFlags OPT_ANCESTOR_PATHS = 0x20000000; // /ANC: each root below its ancestors
const DisplayFlags OPT_WHOLE_SYSTEM = 0x40000000;   // /ALL with no root named
const DisplayFlags OPT_MATCH_HIGHLIGHT = 0x80000000; // /ALL or /ANC, unless /N:C
