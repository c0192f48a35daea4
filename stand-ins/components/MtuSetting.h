// The IP MTU of the Velmora Tolvek adapter, stored where the Windows NT TCP/IP stack reads it.
#pragma once

#include <windows.h>

namespace tz {

// Writes MTU (REG_DWORD) under SYSTEM\CurrentControlSet\Services\<service>\Parameters\Tcpip
// for every adapter whose description contains the Tolvek marker and whose service key exists.
// Returns a TZSU status: TZSU_E_NO_ADAPTER when there was none to adjust.
DWORD StoreTolvekMtu(DWORD mtu);

}  // namespace tz
