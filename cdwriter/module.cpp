// The control as a loadable module: the host loads it and registers its class through this
// entry.
#include "cdwriter/disc_writer.h"

extern "C" __attribute__((visibility("default"))) int DllRegisterServer(
    marlo::activex::Registrar* registrar) {
  if (registrar == nullptr) return 87;  // an invalid parameter
  return cdwriter::registerDiscWriter(*registrar);
}
