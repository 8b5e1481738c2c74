// The global operator new and delete, on the C run-time heap: the program is built without exceptions.
//
// The library's throwing operator new would bring in the whole exception machinery and the verbose
// terminate handler with its demangler, a third of the program's code, for an out-of-memory case
// the framework already ends with abort() (CString, CByteArray). Allocation failure ends the
// program here the same way.
#include <stdlib.h>

#include <new>

namespace
{
void* Allocate(size_t cb)
{
    // malloc(0) may return null; operator new must not.
    void* p = malloc(cb != 0 ? cb : 1);
    if (p == nullptr)
        abort();
    return p;
}
}  // namespace

void* operator new(size_t cb) { return Allocate(cb); }
void* operator new[](size_t cb) { return Allocate(cb); }
void* operator new(size_t cb, const std::nothrow_t&) noexcept { return malloc(cb != 0 ? cb : 1); }
void* operator new[](size_t cb, const std::nothrow_t&) noexcept { return malloc(cb != 0 ? cb : 1); }

void operator delete(void* p) noexcept { free(p); }
void operator delete[](void* p) noexcept { free(p); }
void operator delete(void* p, size_t) noexcept { free(p); }
void operator delete[](void* p, size_t) noexcept { free(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { free(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { free(p); }
