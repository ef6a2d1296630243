// One reference on the process-wide connection to the ISP driver: the first
// live reference opens it, the last one closes it.
#ifndef VOVA_CONNECTION_H
#define VOVA_CONNECTION_H

#include "ci/ci_api.h"
#include "qov_types.h"

namespace VOVA {

class CI_Connection {
public:
    /** Connects; a failure is logged and leaves the reference unconnected. */
    CI_Connection();
    ~CI_Connection();
    CI_Connection(const CI_Connection &) = delete;
    CI_Connection &operator=(const CI_Connection &) = delete;

    /** The shared connection when this reference connected, null otherwise. */
    CI_CONNECTION *getConnection() { return connected ? pCI_Connection : nullptr; }
    const CI_CONNECTION *getConnection() const { return connected ? pCI_Connection : nullptr; }
    int getNConnections() const { return nCI_Connections; }

    /** Opens the connection when none is open, then counts one more user. */
    static QOV_RESULT connect();
    /** Counts one user less and closes the connection with the last one. */
    static QOV_RESULT disconnect();

private:
    static CI_CONNECTION *pCI_Connection;
    static int nCI_Connections;
    bool connected = false;
};

}  // namespace VOVA

#endif  // VOVA_CONNECTION_H
