// frei0r.h declares the entry points without C linkage for C++: every file
// takes it through here, so that they are the C functions hosts look up.
#pragma once

extern "C" {
#include <frei0r.h>
}
