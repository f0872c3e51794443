#include <fcntl.h>
#include <unistd.h>

#include "platform/console.h"

namespace normalize::platform {

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) != 0; }

bool LeadsSomewhere(std::FILE* stream) { return fcntl(fileno(stream), F_GETFD) != -1; }

void PrepareConsole() {}

void EndConsole(int) {}

}  // namespace normalize::platform
