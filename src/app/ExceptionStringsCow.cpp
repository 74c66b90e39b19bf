// std::logic_error and std::runtime_error keep their message in libstdc++'s old copy-on-write
// string. The few members its exception code calls are instantiated here, so the linker takes
// them from this object and does not pull in the library's whole instantiation of that string,
// which drags in the library's std::string instantiation after it (about 60 KB with unwind
// tables; ExceptionStrings.cpp has the other half). Compiled from the library's own headers,
// these are the library's code.
#define _GLIBCXX_USE_CXX11_ABI 0
#include <string>

template std::string::_Rep* std::string::_Rep::_S_create(std::string::size_type, std::string::size_type,
                                                         const std::allocator<char>&);
template void std::string::_Rep::_M_destroy(const std::allocator<char>&);
template void std::string::_Rep::_M_dispose(const std::allocator<char>&);
template char* std::string::_Rep::_M_clone(const std::allocator<char>&, std::string::size_type);
template void std::string::swap(std::string&);
template std::string& std::string::assign(const std::string&);
template char* std::string::_S_construct(std::string::size_type, char, const std::allocator<char>&);
