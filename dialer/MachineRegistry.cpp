#include "MachineRegistry.h"

#include "FwRegistry.h"

bool ReadMachineString(const char* subkey, const char* valueName, std::string& out) {
  return fw::ReadRegistryText(HKEY_LOCAL_MACHINE, subkey, valueName, kMachineStringBufferSize, out);
}
