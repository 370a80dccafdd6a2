#include "shell/process_memory.h"

#include <cstdlib>  // names the C library (__GLIBC__)
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace tabulor::shell {

void ReturnFreedMemory() {
#if defined(__GLIBC__)
  // Setting the threshold also ends its raising after large frees.
  mallopt(M_TRIM_THRESHOLD, 128 * 1024);
#endif
}

}  // namespace tabulor::shell
