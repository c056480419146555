#include "tool/run_target.h"

#include <algorithm>
#include <cctype>

#include "platform/files.h"

namespace {

std::string AsciiLower(std::u16string_view text) {
  std::string out;
  for (char16_t c : text)
    out += c < 128 ? static_cast<char>(std::tolower(static_cast<unsigned char>(c))) : '?';
  return out;
}

// Four decimal numbers of at most 255, dot-separated, the first 127.
bool IsIpv4Loopback(const std::string& host) {
  int parts = 0;
  size_t at = 0;
  while (at <= host.size()) {
    const size_t dot = std::min(host.find('.', at), host.size());
    const std::string part = host.substr(at, dot - at);
    if (part.empty() || part.size() > 3 ||
        part.find_first_not_of("0123456789") != std::string::npos)
      return false;
    const int value = std::stoi(part);
    if (value > 255 || (parts == 0 && value != 127)) return false;
    ++parts;
    at = dot + 1;
  }
  return parts == 4;
}

}  // namespace

std::u16string ServerOf(std::u16string_view value) {
  return value.empty() ? u"127.0.0.1" : std::u16string(value);
}

bool IsLocalServer(std::u16string_view server) {
  std::string host = AsciiLower(server);
  if (const size_t slash = host.rfind('/'); slash != std::string::npos) host.resize(slash);
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  return host.empty() || host == "localhost" || host == "::1" || host == "0:0:0:0:0:0:0:1" ||
         IsIpv4Loopback(host) || (host.rfind("::ffff:", 0) == 0 && IsIpv4Loopback(host.substr(7)));
}

DatabaseLocation LocateDatabase(const std::u16string& path,
                                const std::optional<std::u16string>& server) {
  using Place = DatabaseLocation::Place;
  DatabaseLocation location;
  location.path = path;
  switch (QueryPath(path)) {
    case PathKind::File:
      location.place = Place::LocalFile;
      break;
    case PathKind::Inaccessible:
      location.place = Place::Unreachable;
      location.unsearchable_directory = FirstUnsearchableDirectory(path);
      location.access_failure = PathAccessFailure(path);
      break;
    case PathKind::Missing:
      if (IsAbsolutePath(path) && server && IsLocalServer(*server)) {
        location.place = Place::MissingHere;
        location.local_server = ServerOf(*server);
      }
      break;
    case PathKind::Directory:
      break;
  }
  return location;
}
