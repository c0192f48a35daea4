#include "SetupUtilsTable.h"

#include <cstring>
#include <new>

#include "ComponentCall.h"
#include "FwStrings.h"

const SetupUtilsTable& SetupUtilsTable::System() {
  static const SetupUtilsTable table = {
      &TzSuOpen,      &TzSuClose,  &TzSuPrepare,          &TzSuGetEntryCount,        &TzSuBeginEnum,
      &TzSuNextEntry, &TzSuEndEnum, &TzSuWriteRuntimeFile, &TzSuAdjustNetworkSettings,
  };
  return table;
}

bool SetupUtilsTable::FindAdapter(const char* marker) const {
  TZSU_HANDLE handle = 0;
  if (ComponentCall(pfnOpen, &handle) != TZSU_OK) return false;
  bool found = false;
  LONG count = 0;
  if (ComponentCall(pfnPrepare, handle) == TZSU_OK && ComponentCall(pfnGetEntryCount, handle, &count) == TZSU_OK &&
      ComponentCall(pfnBeginEnum, handle) == TZSU_OK) {
    for (LONG i = 0; i < count && !found; ++i) {
      DWORD number = 0;
      char keyName[TZSU_SHORT_TEXT] = {}, description[TZSU_LONG_TEXT] = {}, service[TZSU_SHORT_TEXT] = {};
      char provider[TZSU_SHORT_TEXT] = {}, date[TZSU_SHORT_TEXT] = {}, version[TZSU_SHORT_TEXT] = {};
      char infPath[TZSU_LONG_TEXT] = {}, infSection[TZSU_SHORT_TEXT] = {}, hardwareId[TZSU_LONG_TEXT] = {};
      description[0] = 0;
      if (ComponentCall(pfnNextEntry, handle, &number, keyName, description, service, provider, date, version,
                        infPath, infSection, hardwareId) != TZSU_OK) {
        break;
      }
      // The library promises a terminated text; do not rely on it.
      found = fw::FromBuffer(description, sizeof(description)).find(marker) != std::string::npos;
    }
    ComponentCall(pfnEndEnum, handle);
  }
  ComponentCall(pfnClose, &handle);
  return found;
}

bool SetupUtilsTable::WriteRuntimeFile(const std::function<bool(std::string&)>& windowsDir,
                                       const char* fileName) const {
  TZSU_HANDLE handle = 0;
  if (ComponentCall(pfnOpen, &handle) != TZSU_OK) return false;
  bool written = false;
  if (ComponentCall(pfnPrepare, handle) == TZSU_OK) {
    try {
      std::string path;
      if (windowsDir(path)) {
        path += fileName;
        written = ComponentCall(pfnWriteRuntimeFile, handle, path.c_str(), "") == TZSU_OK;
      }
    } catch (const std::bad_alloc&) {
      written = false;
    }
  }
  ComponentCall(pfnClose, &handle);
  return written;
}
