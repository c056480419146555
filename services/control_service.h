// TIBControlService: a service session that starts an action of the service manager from a
// start request, and asks whether an action is still running.
#pragma once

#include <string>

#include "services/custom_service.h"

class TIBControlService : public TIBCustomService {
 public:
  using TIBCustomService::TIBCustomService;

  // Builds the start request (BuildStartParams) and sends it. Needs an attached session; a
  // failed start leaves it detached.
  virtual void ServiceStart();

  // One running query: true while the server runs an action for this session.
  bool IsServiceRunning();

 protected:
  // Fills FStartParams; adds nothing here, so ServiceStart of this class always fails.
  virtual void BuildStartParams();

  // Appends a text item: code, the converted text's byte count (2 bytes, low first), the
  // bytes. An empty text appends nothing; more than 65535 bytes is refused.
  static void AppendStartText(std::string& params, char code, std::string_view name,
                              const std::u16string& text);

  std::string FStartParams;

 private:
  void InternalServiceStart();

  std::string FStartSPB;
};
