// The members of std::string that libstdc++'s exception messages use besides the copy-on-write
// string (ExceptionStringsCow.cpp), instantiated here for the same reason.
#include <string>

template char* std::string::_M_create(std::string::size_type&, std::string::size_type);
template void std::string::_M_assign(const std::string&);
