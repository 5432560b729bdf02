#include "LowDelaySockets.h"

#if defined(__SANITIZE_ADDRESS__)
#define VELQUOR_NO_CONNECT_WRAPPER 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELQUOR_NO_CONNECT_WRAPPER 1
#endif
#endif

#ifndef VELQUOR_NO_CONNECT_WRAPPER

#include <dlfcn.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

// Qt gives no access to the sockets of its HTTP connections, so the option is set where
// every one of them starts: this definition of connect() takes the place of the C
// library's for the whole process and hands on to it.
extern "C" int connect(int fd, const struct sockaddr *address, socklen_t length)
{
    using Connect = int (*)(int, const struct sockaddr *, socklen_t);
    static const Connect next = reinterpret_cast<Connect>(dlsym(RTLD_NEXT, "connect"));
    if (address && (address->sa_family == AF_INET || address->sa_family == AF_INET6)) {
        int type = 0;
        socklen_t size = sizeof type;
        if (getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &size) == 0 && type == SOCK_STREAM) {
            const int on = 1;
            setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        }
    }
    return next(fd, address, length);
}

bool EnableLowDelaySockets()
{
    return true;
}

#else

bool EnableLowDelaySockets()
{
    return false;
}

#endif
