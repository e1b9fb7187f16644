#include "messages.h"

#include <cstdarg>
#include <cstdio>

namespace d88 {

void PrintError(const char* format, ...) {
  fflush(stdout);
  va_list args;
  va_start(args, format);
  vfprintf(stderr, format, args);
  va_end(args);
}

}  // namespace d88
