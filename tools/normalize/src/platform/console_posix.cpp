#include <unistd.h>

#include "platform/console.h"

namespace normalize::platform {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

void PrepareConsole() {}

void EndConsole(int) {}

}  // namespace normalize::platform
