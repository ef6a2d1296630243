// The process-wide driver connection, reference counted.
#include "vova/Connection.h"

#include "vezaracommon/userlog.h"

#define LOG_TAG "VOVA_CONNECTION"

namespace VOVA {

CI_CONNECTION *CI_Connection::pCI_Connection = nullptr;
int CI_Connection::nCI_Connections = 0;

CI_Connection::CI_Connection()
{
    QOV_RESULT ret = connect();
    if (ret != QOV_SUCCESS) {
        LOG_ERROR("Failed to connect (returned %d)\n", ret);
        return;
    }
    connected = true;
}

CI_Connection::~CI_Connection()
{
    if (!connected)
        return;
    QOV_RESULT ret = disconnect();
    if (ret != QOV_SUCCESS)
        LOG_ERROR("Failed to disconnect (returned %d)\n", ret);
}

QOV_RESULT CI_Connection::connect()
{
    if (nCI_Connections == 0 && !pCI_Connection) {
        if (CI_DriverInit(&pCI_Connection) != QOV_SUCCESS) {
            pCI_Connection = nullptr;
            LOG_ERROR("Unable to initialize connection to CI\n");
            return QOV_ERROR_FAILURE;
        }
    }
    nCI_Connections++;
    return QOV_SUCCESS;
}

QOV_RESULT CI_Connection::disconnect()
{
    if (nCI_Connections <= 0) {
        LOG_ERROR("Unable to close connection to CI (invalid connection counter)\n");
        return QOV_ERROR_FAILURE;
    }
    nCI_Connections--;
    if (nCI_Connections == 0) {
        if (CI_DriverFinalise(pCI_Connection) != QOV_SUCCESS)
            LOG_ERROR("Error closing CI connection\n");
        pCI_Connection = nullptr;
    }
    return QOV_SUCCESS;
}

}  // namespace VOVA
