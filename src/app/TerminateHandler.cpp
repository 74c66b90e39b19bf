// The library's default terminate handler prints the demangled type of the exception to a
// console this GUI program does not have, and the demangler alone adds about 45 KB to the
// stub. This definition replaces it: an unexpected exception simply ends the process.
#include <cstdlib>

namespace __gnu_cxx {

void __verbose_terminate_handler() { std::abort(); }

}  // namespace __gnu_cxx
