// The parameter file next to the executable: its name, the decoding of its bytes, its lines
// and the lines of its "[STARTPARAMS]" sections.
#pragma once

#include <string>
#include <string_view>
#include <vector>

// The executable's path with its extension replaced by ".INI", or with ".INI" appended when
// its last component has no full stop.
std::u16string ParameterFilePath(std::u16string_view executable_path);

// Decodes the file's bytes: EF BB BF starts strict UTF-8 (malformed input gives the empty
// text), FF FE UTF-16 little-endian, FE FF UTF-16 big-endian, anything else the narrow
// encoding. The byte-order mark is dropped; a NUL ends the text.
std::u16string DecodeParameterFile(std::string_view bytes);

// Splits at CR LF, LF and lone CR. A last line without a line end counts; a line end at the
// very end adds no empty line.
std::vector<std::u16string> SplitLines(std::u16string_view text);

// The trimmed, non-empty lines of every "[STARTPARAMS]" section (header letter case ignored),
// in file order. A line is a header when its very first character is '['.
std::vector<std::u16string> StartParamLines(const std::vector<std::u16string>& lines);

// True when a line is a "[STARTPARAMS]" header (letter case ignored).
bool HasStartParamSection(const std::vector<std::u16string>& lines);

// What became of the parameter file, for the operator's words.
enum class ParameterFileState {
  None,        // no path to look at
  Missing,     // nothing there: the usual case
  Read,        // read, with at least one [STARTPARAMS] section
  NoSection,   // read, but without a [STARTPARAMS] section
  Unreadable,  // there, but it could not be read (reason says why)
};

struct ParameterFile {
  std::u16string path;
  ParameterFileState state = ParameterFileState::None;
  std::u16string reason;  // Unreadable: the system's words; empty for what is no file at all
  std::vector<std::u16string> items;
};

// The items the file at path contributes, and what became of it: no items when nothing
// readable is there, or when the path names a directory.
ParameterFile ReadParameterFile(const std::u16string& path);
