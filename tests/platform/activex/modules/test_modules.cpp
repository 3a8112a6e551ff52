// Control modules for the registration tests, one per behaviour, chosen when compiled:
// MODULE_REGISTERS registers a small control under MODULE_CLASS_ID; MODULE_RESULT is what the
// entry returns; MODULE_NO_ENTRY leaves the entry out.
#include "platform/activex/dispatch.h"

namespace {

class EchoControl final : public marlo::activex::Control {
 public:
  marlo::activex::CallResult call(int member, marlo::activex::CallKind,
                                  const std::vector<marlo::activex::Value>&) override {
    return marlo::activex::CallResult::success(marlo::activex::Value(member));
  }
  void advise(std::shared_ptr<marlo::activex::EventSink>) override {}
};

[[maybe_unused]] std::shared_ptr<marlo::activex::Control> makeEcho() {
  return std::make_shared<EchoControl>();
}

}  // namespace

#ifndef MODULE_NO_ENTRY
extern "C" __attribute__((visibility("default"))) int DllRegisterServer(
    marlo::activex::Registrar* registrar) {
#ifdef MODULE_REGISTERS
  if (const int r = registrar->registerClass(MODULE_CLASS_ID, MODULE_FILE, &makeEcho); r != 0) {
    return r;
  }
#else
  (void)registrar;
#endif
  return MODULE_RESULT;
}
#endif
