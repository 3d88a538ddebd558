// FailureInjection.h - makes one named operation fail on purpose, so that the
// failure handlers can be exercised from outside through a real host.
//
// The environment variable GW_PLUGIN_INJECT_FAILURE is read once at module
// attach; its form is "<operation>=<kind>", kind one of
//   memory  the operation throws std::bad_alloc
//   other   the operation throws a std::runtime_error
//   fault   the operation writes through a null pointer (an access violation)
// e.g. "DoStart=memory". Without the variable nothing is ever injected, so a
// host or a person never sees a difference in normal runs. Only builds made
// with the CMake option GW_TEST_HOOKS read the variable; release builds ignore it.
#pragma once

namespace gw::plugin {

/// Reads the environment variable (module attach).
void LoadFailureInjection() noexcept;

/// Fails as configured when pOperation is the configured operation; otherwise
/// does nothing. Throws std::bad_alloc or std::runtime_error, or faults.
void InjectFailure(const char* pOperation);

} // namespace gw::plugin
