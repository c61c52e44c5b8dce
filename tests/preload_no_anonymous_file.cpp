// Preloaded into a program: no anonymous file can be made, as in a sandbox
// that refuses memfd_create and offers no writable temporary folder. The
// platform headers are left out on purpose: their declarations carry
// noexcept clauses and large-file redirections that a replacement
// need not repeat.
#include <cerrno>

extern "C" {

int memfd_create(const char *, unsigned int) {
    errno = ENOSYS;
    return -1;
}

void *tmpfile() {
    errno = EROFS;
    return nullptr;
}

void *tmpfile64() {
    errno = EROFS;
    return nullptr;
}
}
