// Gaskets (the ISP's sensor input ports) and the real-time monitor.
//
// The library keeps no gasket state: the driver tracks which gaskets are
// reserved. Messages carry tag "CI_API".
#ifndef CI_GASKET_H
#define CI_GASKET_H

#include "ci/ci_api_structs.h"
#include "qov_types.h"

// Clears every field: a MIPI request for gasket 0 of size 0 x 0.
QOV_RESULT CI_GasketInit(CI_GASKET *pGasket);
// Reserves and configures the gasket the record names.
QOV_RESULT CI_GasketAcquire(CI_GASKET *pGasket, CI_CONNECTION *pConnection);
// Releases the gasket the record names.
QOV_RESULT CI_GasketRelease(CI_GASKET *pGasket, CI_CONNECTION *pConnection);
// Status counters of one gasket.
QOV_RESULT CI_GasketGetInfo(CI_GASKET_INFO *pGasketInfo, QOV_UINT8 uiGasket, CI_CONNECTION *pConnection);

// Snapshot of the real-time monitor registers.
QOV_RESULT CI_DriverGetRTMInfo(CI_CONNECTION *pConnection, CI_RTM_INFO *pRTM);

#endif
