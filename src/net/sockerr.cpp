#include "net/sockerr.h"

#include <netdb.h>

#include <cerrno>

std::uint16_t WinsockError(int posixErrno) {
    switch (posixErrno) {
    case 0:
        return 0;
    case EINTR:
        return WSAEINTR;
    case EACCES:
        return WSAEACCES;
    case EFAULT:
        return WSAEFAULT;
    case EINVAL:
        return WSAEINVAL;
    case EMFILE:
    case ENFILE:
        return WSAEMFILE;
    case EAGAIN:
#if EWOULDBLOCK != EAGAIN
    case EWOULDBLOCK:
#endif
    case EINPROGRESS:
        return WSAEWOULDBLOCK;
    case EALREADY:
        return WSAEALREADY;
    case ENOTSOCK:
    case EBADF:
        return WSAENOTSOCK;
    case EMSGSIZE:
        return WSAEMSGSIZE;
    case EOPNOTSUPP:
        return WSAEOPNOTSUPP;
    case EAFNOSUPPORT:
        return WSAEAFNOSUPPORT;
    case EADDRINUSE:
        return WSAEADDRINUSE;
    case EADDRNOTAVAIL:
        return WSAEADDRNOTAVAIL;
    case ENETDOWN:
        return WSAENETDOWN;
    case ENETUNREACH:
        return WSAENETUNREACH;
    case ENETRESET:
        return WSAENETRESET;
    case ECONNABORTED:
        return WSAECONNABORTED;
    case ECONNRESET:
    case EPIPE:
        return WSAECONNRESET;
    case ENOBUFS:
    case ENOMEM:
        return WSAENOBUFS;
    case EISCONN:
        return WSAEISCONN;
    case ENOTCONN:
        return WSAENOTCONN;
    case ESHUTDOWN:
        return WSAESHUTDOWN;
    case ETIMEDOUT:
        return WSAETIMEDOUT;
    case ECONNREFUSED:
        return WSAECONNREFUSED;
    case EHOSTUNREACH:
        return WSAEHOSTUNREACH;
    default:
        return WSABASEERR;
    }
}

std::uint16_t WinsockLookupError(int result, std::size_t addresses) {
    switch (result) {
    case 0:
        return addresses > 0 ? 0 : WSANO_DATA;
    case EAI_NONAME:
    case EAI_FAIL:
#ifdef EAI_NODATA
    case EAI_NODATA:
#endif
        return WSAHOST_NOT_FOUND;
    default:
        return WSANO_RECOVERY;
    }
}
