#pragma once

// httplib::Server that serves every connection through its own socket stream. The
// stream rewrites the service's "Range: -N" request header (bytes from offset N) into
// the standard "bytes=N-" form before httplib parses it, and carries TLS itself, so
// that plain and secure connections behave alike.

#include <httplib.h>

#include <openssl/ssl.h>

namespace devserver {

// Called by a handler that answered without reading the request's body: the connection
// closes after this answer (the unread body is discarded, never parsed as a request).
void closeConnectionAfterReply();

class FrontServer : public httplib::Server
{
public:
    FrontServer() = default;
    ~FrontServer() override;
    // Loads the certificate and key; afterwards every connection speaks TLS.
    bool enableTls(const std::string &certPath, const std::string &keyPath);
    bool secure() const { return tls_ != nullptr; }

private:
    bool process_and_close_socket(socket_t sock) override;
    SSL_CTX *tls_ = nullptr;
};

} // namespace devserver
