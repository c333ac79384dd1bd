// A scope guard: runs a callable when the scope ends, unless dismissed.
//
//   auto stop = MakeScopeGuard([&] { server.Stop(); });
#pragma once

#include <utility>

namespace sonavel::testing {

template <typename F>
class ScopeGuard {
 public:
  explicit ScopeGuard(F f) : f_(std::move(f)) {}
  ScopeGuard(const ScopeGuard&) = delete;
  ScopeGuard& operator=(const ScopeGuard&) = delete;
  ~ScopeGuard() {
    if (armed_) f_();
  }
  void Dismiss() { armed_ = false; }

 private:
  F f_;
  bool armed_ = true;
};

template <typename F>
ScopeGuard<F> MakeScopeGuard(F f) {
  return ScopeGuard<F>(std::move(f));
}

}  // namespace sonavel::testing
