#include "HttpFront.h"

#include <openssl/err.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <string>

namespace devserver {

namespace {

thread_local bool closeAfterReply = false;

// After an answer given before the request's body was read: no more writing, and what the
// client still sends is read and dropped for a short while, so that it sees the answer rather
// than a reset connection.
void lingeringClose(int fd, SSL *ssl)
{
    if (ssl)
        return; // TLS: closing at once is all that can be done without reading records
    ::shutdown(fd, SHUT_WR);
    char buf[65536];
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) <= 0)
            continue;
        if (::recv(fd, buf, sizeof buf, 0) <= 0)
            break;
    }
}

void addressOf(int fd, bool peer, std::string &ip, int &port)
{
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    int rc = peer ? getpeername(fd, reinterpret_cast<sockaddr *>(&ss), &len)
                  : getsockname(fd, reinterpret_cast<sockaddr *>(&ss), &len);
    if (rc != 0)
        return;
    char buf[INET6_ADDRSTRLEN] = {};
    if (ss.ss_family == AF_INET) {
        auto *a = reinterpret_cast<sockaddr_in *>(&ss);
        inet_ntop(AF_INET, &a->sin_addr, buf, sizeof buf);
        port = ntohs(a->sin_port);
    } else if (ss.ss_family == AF_INET6) {
        auto *a = reinterpret_cast<sockaddr_in6 *>(&ss);
        inet_ntop(AF_INET6, &a->sin6_addr, buf, sizeof buf);
        port = ntohs(a->sin6_port);
    }
    ip = buf;
}

bool waitFd(int fd, short events, int timeoutMs)
{
    pollfd p{fd, events, 0};
    int rc;
    do {
        rc = ::poll(&p, 1, timeoutMs);
    } while (rc < 0 && errno == EINTR);
    return rc > 0;
}

class FrontStream : public httplib::Stream
{
public:
    FrontStream(int fd, SSL *ssl)
        : fd_(fd)
        , ssl_(ssl)
    {}

    void beginRequest() { inHeaders_ = true; }

    // Waits for the next request of a kept-alive connection, giving up when the server stops.
    bool waitForRequest(const std::atomic<socket_t> &listener, int timeoutSec)
    {
        if (!out_.empty() || !raw_.empty() || (ssl_ && SSL_pending(ssl_) > 0))
            return true;
        for (int waited = 0; waited < timeoutSec * 1000; waited += 100) {
            if (listener == INVALID_SOCKET)
                return false;
            if (waitFd(fd_, POLLIN, 100))
                return true;
        }
        return false;
    }

    bool is_readable() const override
    {
        return !out_.empty() || !raw_.empty() || (ssl_ && SSL_pending(ssl_) > 0)
               || waitFd(fd_, POLLIN, 5000);
    }
    bool is_writable() const override { return waitFd(fd_, POLLOUT, 5000); }

    ssize_t read(char *ptr, size_t size) override
    {
        if (out_.empty()) {
            if (inHeaders_) {
                if (!fillHeaderLine())
                    return out_.empty() ? -1 : takeOut(ptr, size);
            } else if (!raw_.empty()) {
                handOverRaw();
            } else {
                return rawRead(ptr, size);
            }
        }
        return takeOut(ptr, size);
    }

    ssize_t write(const char *ptr, size_t size) override
    {
        size_t done = 0;
        while (done < size) {
            ssize_t n;
            if (ssl_) {
                n = SSL_write(ssl_, ptr + done, int(size - done));
                if (n <= 0)
                    return done ? ssize_t(done) : -1;
            } else {
                n = ::send(fd_, ptr + done, size - done, MSG_NOSIGNAL);
                if (n < 0) {
                    if (errno == EINTR)
                        continue;
                    if (errno == EAGAIN && waitFd(fd_, POLLOUT, 5000))
                        continue;
                    return done ? ssize_t(done) : -1;
                }
            }
            done += size_t(n);
        }
        return ssize_t(done);
    }

    void get_remote_ip_and_port(std::string &ip, int &port) const override
    {
        addressOf(fd_, true, ip, port);
    }
    void get_local_ip_and_port(std::string &ip, int &port) const override
    {
        addressOf(fd_, false, ip, port);
    }
    socket_t socket() const override { return fd_; }

private:
    // Passes the buffered bytes on unchanged; out_ is empty whenever this is called. A move, not
    // out_.swap(raw_): GCC 12 at -O3 reports a false -Wrestrict inside std::string::swap here.
    void handOverRaw()
    {
        out_ = std::move(raw_);
        raw_.clear(); // a moved-from string need not be empty
    }

    ssize_t takeOut(char *ptr, size_t size)
    {
        size_t n = std::min(size, out_.size());
        std::memcpy(ptr, out_.data(), n);
        out_.erase(0, n);
        return ssize_t(n);
    }

    ssize_t rawRead(char *ptr, size_t size)
    {
        if (!(ssl_ && SSL_pending(ssl_) > 0) && !waitFd(fd_, POLLIN, 5000))
            return -1;
        if (ssl_) {
            int n = SSL_read(ssl_, ptr, int(std::min<size_t>(size, 1 << 30)));
            return n > 0 ? n : -1;
        }
        ssize_t n;
        do {
            n = ::recv(fd_, ptr, size, 0);
        } while (n < 0 && errno == EINTR);
        return n > 0 ? n : -1;
    }

    // Moves one complete header line (rewritten when it is "Range: -N", dropped when it is
    // Accept-Encoding) into out_.
    bool fillHeaderLine()
    {
        for (;;) {
            size_t nl = raw_.find('\n');
            if (nl != std::string::npos) {
                std::string line = raw_.substr(0, nl + 1);
                raw_.erase(0, nl + 1);
                if (line == "\r\n" || line == "\n")
                    inHeaders_ = false;
                else if (isAcceptEncoding(line))
                    continue;
                else
                    rewriteRange(line);
                out_ += line;
                return true;
            }
            if (raw_.size() > 64 * 1024) { // not a header any more: hand it over unchanged
                handOverRaw();
                return true;
            }
            char buf[4096];
            ssize_t n = rawRead(buf, sizeof buf);
            if (n <= 0) {
                handOverRaw();
                return false;
            }
            raw_.append(buf, size_t(n));
        }
    }

    // Answers go out uncompressed: on loopback compression only costs time (brotli at its
    // default quality takes seconds for a large folder tree), and clients must read
    // uncompressed answers anyway.
    static bool isAcceptEncoding(const std::string &line)
    {
        return line.size() >= 16 && strncasecmp(line.c_str(), "accept-encoding:", 16) == 0;
    }

    static void rewriteRange(std::string &line)
    {
        if (line.size() < 7 || strncasecmp(line.c_str(), "range:", 6) != 0)
            return;
        size_t p = 6;
        while (p < line.size() && (line[p] == ' ' || line[p] == '\t'))
            ++p;
        if (p >= line.size() || line[p] != '-')
            return;
        size_t q = p + 1;
        std::string digits;
        while (q < line.size() && std::isdigit(static_cast<unsigned char>(line[q])))
            digits += line[q++];
        if (digits.empty())
            return;
        line = "Range: bytes=" + digits + "-\r\n";
    }

    int fd_;
    SSL *ssl_;
    bool inHeaders_ = true;
    std::string raw_; // bytes read from the connection, not yet handed over
    std::string out_; // bytes ready for httplib
};

} // namespace

void closeConnectionAfterReply()
{
    closeAfterReply = true;
}

FrontServer::~FrontServer()
{
    if (tls_)
        SSL_CTX_free(tls_);
}

bool FrontServer::enableTls(const std::string &certPath, const std::string &keyPath)
{
    SSL_CTX *ctx = SSL_CTX_new(TLS_server_method());
    if (!ctx)
        return false;
    if (SSL_CTX_use_certificate_chain_file(ctx, certPath.c_str()) != 1
        || SSL_CTX_use_PrivateKey_file(ctx, keyPath.c_str(), SSL_FILETYPE_PEM) != 1
        || SSL_CTX_check_private_key(ctx) != 1) {
        SSL_CTX_free(ctx);
        return false;
    }
    tls_ = ctx;
    return true;
}

bool FrontServer::process_and_close_socket(socket_t sock)
{
    SSL *ssl = nullptr;
    bool ok = true;
    // Headers and body go out in separate writes: without this, Nagle's algorithm holds the
    // body back until the client's delayed ACK, about 40 ms per answer.
    int one = 1;
    setsockopt(sock, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (tls_) {
        ssl = SSL_new(tls_);
        SSL_set_fd(ssl, sock);
        timeval tv{5, 0};
        setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv);
        if (SSL_accept(ssl) != 1) {
            ERR_clear_error();
            ok = false;
        }
    }
    if (ok) {
        FrontStream stream(sock, ssl);
        int count = int(keep_alive_max_count_);
        while (count > 0 && stream.waitForRequest(svr_sock_, int(keep_alive_timeout_sec_))) {
            bool closeConnection = count == 1;
            bool closed = false;
            stream.beginRequest();
            closeAfterReply = false;
            bool ret = process_request(stream, closeConnection, closed, [](httplib::Request &) {});
            if (closeAfterReply) {
                closeAfterReply = false;
                lingeringClose(sock, ssl);
                break;
            }
            if (!ret || closed)
                break;
            --count;
        }
    }
    if (ssl) {
        SSL_shutdown(ssl);
        SSL_free(ssl);
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return ok;
}

} // namespace devserver
