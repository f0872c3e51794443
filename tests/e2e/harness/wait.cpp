// Waiting: polls with a limit.
#include "harness/harness.h"
#include "harness/internal.h"

namespace e2e {

using namespace detail;

bool WaitUntil(const std::function<bool()>& done, Ms timeout) {
  const auto end = Clock::now() + timeout;
  for (;;) {
    if (done()) return true;
    if (Clock::now() >= end) return done();
    ::Sleep(50);
  }
}

bool Stays(const std::function<bool()>& holds, Ms duration) {
  const auto end = Clock::now() + duration;
  do {
    if (!holds()) return false;
    ::Sleep(20);
  } while (Clock::now() < end);
  return holds();
}

void Sleep(Ms duration) { ::Sleep(static_cast<DWORD>(duration.count())); }

}  // namespace e2e
