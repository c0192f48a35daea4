// The dialer's view of RAS: the old record layouts it hands over, and the names it dials by.
#pragma once
#include "RasRecords400.h"

// Names shared by the dial engine.
constexpr char kEntryName[] = "Tessory Connection";
constexpr char kAdapterMarker[] = "Velmora";
constexpr char kVpnDeviceType[] = "vpn";
