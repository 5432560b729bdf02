#pragma once

#include <functional>

class QNetworkAccessManager;

// The network managers of the transport: one per thread and certificate policy, so that
// connections are reused between the requests of a thread, and a connection accepted under a
// lenient policy never carries a request of a stricter one.
//
// Policy bits: 1 = certificate errors ignored (ignoreCert), 2 = the installation's trust file
// is in use (addCertStore). Every manager gets the system proxy factory (which, unlike Qt's
// own, proxies loopback when the environment says so), manual redirects and no HSTS.
namespace NetworkManagers {

// The manager of the calling thread for the policy; made on first use and deleted with the
// application (main thread) or when the thread finishes.
QNetworkAccessManager *ForThread(int tlsPolicy);

// Makes a new manager. The default makes a plain QNetworkAccessManager; a test may give the
// transport an in-process manager instead. The settings above are applied to whatever it
// makes.
using Factory = std::function<QNetworkAccessManager *()>;
// Replaces the factory (an empty one restores the default) and answers the previous one.
// Every thread makes new managers at its next request; replies in progress keep theirs.
Factory SetFactory(Factory factory);

} // namespace NetworkManagers
