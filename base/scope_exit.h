// Runs a function when the scope ends, normally or by an exception: for state that must be
// reset on every path, where no resource type of its own would pay off.
#pragma once

#include <utility>

template <class Function>
class ScopeExit {
 public:
  explicit ScopeExit(Function function) : function_(std::move(function)) {}
  ~ScopeExit() { function_(); }
  ScopeExit(const ScopeExit&) = delete;
  ScopeExit& operator=(const ScopeExit&) = delete;

 private:
  Function function_;
};
