// The Windows cases of the parameter file tests: '\' and the ':' after a drive end a path
// component, and the narrow encoding is the ANSI code page (1252 under scripts/test-windows).
#include <windows.h>

#include "platform/text_encoding.h"
#include "tests/params/param_file_cases.h"

const std::vector<ParameterFilePathCase> kPlatformParameterFilePaths = {
    {u"C:\\Program Files\\fbwarm\\fbwarm.exe", u"C:\\Program Files\\fbwarm\\fbwarm.INI"},
    {u"C:\\fb.warm\\bin\\fbwarm", u"C:\\fb.warm\\bin\\fbwarm.INI"},
    {u"C:\\bin\\fb.warm.x", u"C:\\bin\\fb.warm.INI"},
    {u"C:\\bin\\fbwarm.", u"C:\\bin\\fbwarm.INI"},
    {u"D:fbwarm.exe", u"D:fbwarm.INI"},
    {u"D:.fbwarm", u"D:.INI"},
};

const std::vector<NarrowCase> kPlatformNarrowCases = {
    {"/DB:\xE4x", u"/DB:\u00e4x"},
    {"\x80 \xDF", u"\u20ac \u00df"},
};

// The ANSI code page, chosen as the tool chooses it at start.
std::string PrepareNarrowEncoding() {
  if (GetACP() != 1252) return "these cases expect the ANSI code page 1252";
  InitTextEncoding();
  return std::string();
}
