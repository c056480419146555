// The run-time binding to the InterBase/Firebird client library: the library is loaded by file
// name on first use, every entry point is looked up by name, and entry points that an older
// library lacks are replaced by version stubs that raise when called.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "ibclient/gds_entry_points.h"

// Every operation of the client library, one per entry point, named like it and taking the
// published arguments in the published order. One binding serves the whole process
// (SharedClientLibrary); every database component keeps a reference in its FGDSLibrary.
class IGDSLibrary {
 public:
  virtual ~IGDSLibrary() = default;

  // Loads the library and resolves every entry point. Called by TryIBLoad.
  virtual void LoadIBLibrary() = 0;
  // Marks the libraries as not loaded; the slots and ClientVersion stay as they are.
  virtual void FreeIBLibrary() = 0;
  // Loads unless loaded; true when the library is loaded afterwards. A missing library file
  // gives false; errors from resolving entry points pass through.
  virtual bool TryIBLoad() = 0;
  // TryIBLoad, raising the client error LibraryMissing (as EIBClientLibraryMissing, with the
  // loader's reason) when the library could not be loaded.
  virtual void CheckIBLoaded() = 0;
  // CheckIBLoaded, then ClientVersion as a floating-point number.
  virtual double GetIBClientVersion() = 0;
  // 0 until loaded; then 50000, 60000 or the library's own version times 10000 (63000 for
  // Firebird 3's client).
  virtual int64_t ClientVersion() const = 0;

#define GDS_DECLARE_OPERATION(result, name, params, args) virtual result name params = 0;
  GDS_ENTRY_POINTS(GDS_DECLARE_OPERATION)
#undef GDS_DECLARE_OPERATION

  // The C function takes up to 15 event names as variable arguments; here they come as an
  // array of `count` names.
  virtual ISC_LONG isc_event_block(ISC_UCHAR** event_buffer, ISC_UCHAR** result_buffer,
                                   ISC_USHORT count, const ISC_SCHAR* const* names) = 0;
};

// The file name handed to the platform's loader for the client library ("libfbclient.so.2"
// here, "gds32.dll" on Windows) and for the optional XML extension library.
const std::string& ClientLibraryName();
const std::string& XmlLibraryName();
// The system package that installs the client library ("libfbclient2" on Debian); empty where
// there is none to name.
const std::string& ClientLibraryPackage();

// The process's binding, created (not loaded) at the first call.
std::shared_ptr<IGDSLibrary> SharedClientLibrary();

// The binding's implementation. Each instance loads and keeps its own libraries and slots, so
// tests can bind a given stand-in library by path in a fresh instance; the program itself only
// ever uses the shared one. Libraries stay loaded until the process ends.
class TDynamicLibrary : public IGDSLibrary {
 public:
  TDynamicLibrary();
  // Binds the given files instead of ClientLibraryName() and XmlLibraryName().
  TDynamicLibrary(std::string library_name, std::string xml_library_name);
  ~TDynamicLibrary() override;
  TDynamicLibrary(const TDynamicLibrary&) = delete;
  TDynamicLibrary& operator=(const TDynamicLibrary&) = delete;

  void LoadIBLibrary() override;
  void FreeIBLibrary() override;
  bool TryIBLoad() override;
  void CheckIBLoaded() override;
  double GetIBClientVersion() override;
  int64_t ClientVersion() const override;

#define GDS_DECLARE_OPERATION(result, name, params, args) result name params override;
  GDS_ENTRY_POINTS(GDS_DECLARE_OPERATION)
#undef GDS_DECLARE_OPERATION
  ISC_LONG isc_event_block(ISC_UCHAR** event_buffer, ISC_UCHAR** result_buffer, ISC_USHORT count,
                           const ISC_SCHAR* const* names) override;

  // The XML extension's entry points: filled when that library loads, InterBase 6.5 stubs
  // otherwise. Nothing in the program calls them.
#define GDS_DECLARE_OPERATION(result, name, params, args) result name params;
  GDS_XML_ENTRY_POINTS(GDS_DECLARE_OPERATION)
#undef GDS_DECLARE_OPERATION

  // Whether the XML extension library was loaded.
  bool XmlLibraryLoaded() const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};
