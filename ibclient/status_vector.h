// The calling thread's status vector and its translation into an exception. Kept apart from
// the error types (ibclient/errors.h) because the translation asks the binding for the text:
// the binding depends on the error types, the translation on the binding.
#pragma once

#include <ibase.h>

class IGDSLibrary;

// The calling thread's status vector: ISC_STATUS_LENGTH (20) values of the header's
// pointer-sized ISC_STATUS, all zero when the thread starts. Every client-library call
// receives it first.
ISC_STATUS* ThreadStatusVector();

// Turns the calling thread's status vector into EIBInterBaseError (EIBInterBaseRoleError for
// SQL code -551) and raises it; the text comes from the library's isc_interprete lines. Call
// it right after the failed call, on the same thread, through the library that made the call.
[[noreturn]] void RaiseStatusVectorError(IGDSLibrary& library);
