// Helpers shared by the binding's tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/text.h"
#include "ibclient/errors.h"
#include "ibclient/gds_library.h"
#include "ibclient/status_vector.h"

inline std::string StandinPath(const std::string& variant,
                               const std::string& file = "libfbclient.so.2") {
  return std::string(STANDIN_ROOT) + "/" + variant + "/" + file;
}

// An XML extension library that does not exist.
inline const std::string kNoXmlLibrary = "/nonexistent/fbwarm/libibxml.so";

// A fresh binding of one stand-in variant, not yet loaded.
inline std::unique_ptr<TDynamicLibrary> Bind(const std::string& variant,
                                             const std::string& xml = kNoXmlLibrary) {
  return std::make_unique<TDynamicLibrary>(StandinPath(variant), xml);
}

// The exception of type E that call raises, or nothing (reported as a failure).
template <class E, class Call>
std::optional<E> Raised(Call&& call) {
  try {
    call();
  } catch (const E& e) {
    return e;
  }
  ADD_FAILURE() << "nothing was raised";
  return std::nullopt;
}

inline std::string Utf8(const std::u16string& text) { return Utf16ToUtf8(text); }

// Fills the calling thread's vector in the stand-in's layout: error code, SQL code, one
// interpreted text per message.
inline void FillStandinVector(ISC_STATUS error_code, ISC_STATUS sql_code,
                              const std::vector<const char*>& messages) {
  ISC_STATUS* vector = ThreadStatusVector();
  std::fill(vector, vector + ISC_STATUS_LENGTH, 0);
  int i = 0;
  vector[i++] = isc_arg_gds;
  vector[i++] = error_code;
  vector[i++] = isc_arg_number;
  vector[i++] = sql_code;
  for (const char* message : messages) {
    vector[i++] = isc_arg_interpreted;
    vector[i++] = reinterpret_cast<ISC_STATUS>(message);
  }
}
