// TIBCustomService: one session with the service manager of a Firebird/InterBase server. It
// keeps the server name, the protocol and the service parameters (name=value lines), turns the
// lines into a service parameter block (SPB), attaches and detaches through the client library
// binding, and runs the query step that the derived service classes share.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "base/component.h"
#include "base/string_list.h"
#include "ibclient/gds_library.h"
#include "ibclient/trace_hook.h"

enum class TProtocol { TCP, SPX, NamedPipe, Local };

class TIBCustomService : public TComponent {
 public:
  using TNotifyEvent = std::function<void(TIBCustomService&)>;
  using TIBLoginEvent = std::function<void(TIBCustomService&, TStrings&)>;

  // Binds the process's client library (SharedClientLibrary) and checks that it loads.
  explicit TIBCustomService(TComponent* owner);
  // The same with a given binding, so tests can choose the library file.
  TIBCustomService(TComponent* owner, std::shared_ptr<IGDSLibrary> library);
  // Detaches if still attached; a failure of that detach is dropped (destructors do not
  // throw), so a caller that wants to see it calls SetActive(false) first.
  ~TIBCustomService() override;

  bool Active() const { return FHandle != 0; }
  // true: Attach unless attached; false: Detach unless detached.
  void SetActive(bool value);

  void Attach();
  void Detach();

  const std::u16string& ServerName() const { return FServerName; }
  // A non-empty name switches the protocol Local to TCP, an empty one any other protocol to
  // Local. Refused while attached unless the name stays the same.
  void SetServerName(const std::u16string& value);

  TProtocol Protocol() const { return FProtocol; }
  // Local also empties ServerName. Refused while attached unless the value stays the same.
  void SetProtocol(TProtocol value);

  // The service parameters, one name=value line each; edits are refused while attached.
  TStrings& Params() { return FParams; }
  const TStrings& Params() const { return FParams; }
  void SetParams(const TStrings& value) { FParams.Assign(value); }

  bool LoginPrompt() const { return FLoginPrompt; }
  void SetLoginPrompt(bool value) { FLoginPrompt = value; }

  TTraceFlags TraceFlags() const { return FTraceFlags; }
  void SetTraceFlags(TTraceFlags value) { FTraceFlags = value; }

  const TNotifyEvent& OnAttach() const { return FOnAttach; }
  void SetOnAttach(TNotifyEvent handler) { FOnAttach = std::move(handler); }
  const TIBLoginEvent& OnLogin() const { return FOnLogin; }
  void SetOnLogin(TIBLoginEvent handler) { FOnLogin = std::move(handler); }

  // The client library's service handle; 0 while detached.
  isc_svc_handle Handle() const { return FHandle; }

 protected:
  // The guards shared with the derived classes; each raises its client error.
  void CheckActive() const;      // not attached: "... service is not attached"
  void CheckInactive() const;    // attached: "... service is attached"
  void CheckServerName() const;  // no server name for a network protocol

  IGDSLibrary& GDSLibrary() const { return *FGDSLibrary; }

  // Sends the request items in FQueryParams and receives the answer into FOutputBuffer,
  // which holds FBufferSize bytes, all zero before each query. A failed call drops the handle
  // without a detach. FQueryParams is empty afterwards in every case.
  void InternalServiceQuery();

  // A failed start or query leaves the session detached; the server has dropped it already.
  void DropHandle() { FHandle = 0; }

  enum class TraceNotice { Attach, Detach, Query, Start };
  void OfferTraceNotice(TraceNotice notice) const;

  // Raises EIBClientError (SQLCode 0) with text, traced like the table's client errors: input
  // that a length field of the client library's interface cannot carry is refused, never cut.
  [[noreturn]] static void RaiseLimitError(std::u16string_view text);

  int FBufferSize = 32000;
  std::string FOutputBuffer;
  std::string FQueryParams;
  isc_svc_handle FHandle = 0;

 private:
  void Login();
  void BuildSPB();
  std::string ConnectString() const;

  bool FParamsChanged = true;
  std::string FSPB;
  std::string FQuerySPB;
  TTraceFlags FTraceFlags;
  TIBLoginEvent FOnLogin;
  bool FLoginPrompt = true;
  std::u16string FServerName;
  TNotifyEvent FOnAttach;
  TProtocol FProtocol = TProtocol::Local;
  TStringList FParams;
  std::shared_ptr<IGDSLibrary> FGDSLibrary;
};
