#include <systemd/sd-daemon.h>

#include <algorithm>
#include <string>

#include "platform/service_notify.h"

void NotifyServiceStatus(std::string_view text) {
  std::string message = "STATUS=" + std::string(text);
  std::replace(message.begin(), message.end(), '\n', ' ');
  // sd_notify sends nothing when NOTIFY_SOCKET is unset.
  sd_notify(0, message.c_str());
}
