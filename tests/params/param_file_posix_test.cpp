// The POSIX cases of the parameter file tests: '/' ends a path component, and the tests run
// under the default narrow encoding, UTF-8.
#include "tests/params/param_file_cases.h"

const std::vector<ParameterFilePathCase> kPlatformParameterFilePaths = {
    {u"/opt/fbwarm/bin/fbwarm", u"/opt/fbwarm/bin/fbwarm.INI"},
    {u"/opt/fbwarm/bin/fbwarm.bin", u"/opt/fbwarm/bin/fbwarm.INI"},
    {u"/opt/fb.warm/bin/fbwarm", u"/opt/fb.warm/bin/fbwarm.INI"},
    {u"/opt/bin/fb.warm.x", u"/opt/bin/fb.warm.INI"},
    {u"/opt/bin/fbwarm.", u"/opt/bin/fbwarm.INI"},
    {u"/opt/bin/.fbwarm", u"/opt/bin/.INI"},
};

const std::vector<NarrowCase> kPlatformNarrowCases = {
    {"/DB:\xC3\xA4", u"/DB:\u00e4"},
    // Invalid bytes become U+FFFD.
    {"/DB:\xE4x", u"/DB:\uFFFDx"},
};

// Conversions before InitTextEncoding use UTF-8, so nothing needs choosing.
std::string PrepareNarrowEncoding() { return std::string(); }
