// Linked into a test build of a program: its system calls are counted and made to fail from its start
// when the test names its record in QU_INJECT (Injection.h).
#include "Injection.h"

namespace {
const bool g_attached = AttachInjection();
}  // namespace
