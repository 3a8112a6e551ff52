// The program's wrapper over the disc-writing control "vfcdwriter.ocx": a typed operation for
// every member and property, and the control's five events, each let through by its switch,
// queued on the control's thread and handed to the window's loop by the private event 3826.
//
// A window derives its own class, sets AUTORELEASE and the switches (afterInit is the place),
// calls init(window, control) once its window is open, hands the events of that control to
// handleEvent, overrides the queued handlers it needs, and calls kill when it closes.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

#include "platform/activex/ole_control.h"

namespace app {

class CdWriterControl : public marlo::activex::OleControl {
 public:
  // The control's class and file.
  static constexpr const char* kClassId = "{40B4C464-FE90-11D2-B1AA-E02862C10000}";
  static constexpr const char* kFileName = "vfcdwriter.ocx";
  // The private event that tells the window an event of the control is waiting.
  static constexpr marlo::win::EventCode kEventWaiting = 0xEF2;
  // Event numbers in the pending queue.
  static constexpr std::int32_t kOnError = 1;
  static constexpr std::int32_t kOnSCSIScan = 2;
  static constexpr std::int32_t kCommandDone = 3;
  static constexpr std::int32_t kOnWritingProcess = 4;
  static constexpr std::int32_t kOnStatus = 5;
  // Texts from the control are cut here.
  static constexpr std::size_t kTextCapacity = 500;

  std::uint8_t ENABLE_EVENT_ONERROR = 0;
  std::uint8_t ENABLE_EVENT_ONSCSISCAN = 0;
  std::uint8_t ENABLE_EVENT_COMMANDDONE = 0;
  std::uint8_t ENABLE_EVENT_ONWRITINGPROCESS = 0;
  std::uint8_t ENABLE_EVENT_ONSTATUS = 0;

  using OleControl::init;
  // Adopts control `control` of the open `window` and brings the disc-writing control into it.
  virtual bool init(marlo::win::Window& window, std::int32_t control);
  void afterInit() override;
  std::int32_t onControlEvent(const marlo::activex::EventParameters& parameters) override;
  std::int32_t handleEvent() override;

  // --- Members --------------------------------------------------------------------------------
  virtual std::uint8_t Call18(std::string_view a);
  virtual std::uint8_t Call19(std::string_view a);
  virtual std::uint8_t Call20();
  virtual std::uint8_t Call21();
  virtual void Call22();
  virtual void Call23(std::int16_t n);
  virtual std::uint8_t Call24(std::string_view a);
  virtual std::uint8_t Call25(std::string_view a);
  virtual std::uint8_t Call26(std::string_view a, std::uint8_t n, std::string_view b);
  virtual void Call27();
  virtual void Call28();
  virtual std::uint8_t Call29(std::string_view a);
  virtual std::uint8_t Call30(std::string_view a, std::string_view b);
  virtual std::int16_t Call31();
  virtual std::string Call32(std::int16_t n);
  virtual std::uint8_t Call33();
  virtual void AboutBox();

  // --- Properties -----------------------------------------------------------------------------
  virtual std::int16_t GetProp1();
  virtual void SetProp1(std::int16_t value);
  virtual std::int16_t GetProp2();
  virtual void SetProp2(std::int16_t value);
  virtual std::int16_t GetProp3();
  virtual void SetProp3(std::int16_t value);
  virtual std::int16_t GetProp4();
  virtual void SetProp4(std::int16_t value);
  virtual std::string GetProp5();
  virtual void SetProp5(std::string_view value);
  virtual std::string GetProp6();
  virtual void SetProp6(std::string_view value);
  virtual std::string GetProp7();
  virtual void SetProp7(std::string_view value);
  virtual std::int16_t GetProp8();
  virtual void SetProp8(std::int16_t value);
  virtual std::string GetProp9();
  virtual void SetProp9(std::string_view value);
  virtual std::string GetProp10();
  virtual void SetProp10(std::string_view value);
  virtual std::string GetProp11();
  virtual void SetProp11(std::string_view value);
  virtual std::int32_t GetProp12();
  virtual void SetProp12(std::int32_t value);
  virtual std::uint8_t GetProp13();
  virtual void SetProp13(std::uint8_t value);
  virtual std::int16_t GetProp14();
  virtual void SetProp14(std::int16_t value);
  virtual std::uint8_t GetProp15();
  virtual void SetProp15(std::uint8_t value);
  virtual std::int32_t GetProp16();
  virtual void SetProp16(std::int32_t value);
  virtual std::uint8_t GetProp17();
  virtual void SetProp17(std::uint8_t value);

  // --- Event handlers: Direct ones run in the control's callback, Queued ones in the window's
  // loop. Here they do nothing.
  virtual std::int32_t OnErrorQueued(std::int16_t code, const std::string& message);
  virtual std::int32_t OnErrorDirect(std::int16_t code, const std::string& message);
  virtual std::int32_t OnSCSIScanQueued(std::int16_t adapter, std::int16_t id, std::int16_t lun,
                                        const std::string& product, const std::string& productIdent,
                                        const std::string& productRevision, std::int16_t devType);
  virtual std::int32_t OnSCSIScanDirect(std::int16_t adapter, std::int16_t id, std::int16_t lun,
                                        const std::string& product, const std::string& productIdent,
                                        const std::string& productRevision, std::int16_t devType);
  virtual std::int32_t CommandDoneQueued();
  virtual std::int32_t CommandDoneDirect();
  virtual std::int32_t OnWritingProcessQueued(std::int16_t value, std::int32_t written,
                                              std::int32_t total);
  virtual std::int32_t OnWritingProcessDirect(std::int16_t value, std::int32_t written,
                                              std::int32_t total);
  virtual std::int32_t OnStatusQueued(std::int16_t code, const std::string& message);
  virtual std::int32_t OnStatusDirect(std::int16_t code, const std::string& message);

  // A member text: `prefix`, the dispatch number and, when given, the arguments: a text without
  // its trailing blanks in double quotes (a quote inside doubled), a number in decimal, joined
  // by "," without blanks.
  using Argument = std::variant<std::string_view, std::int64_t>;
  static std::string memberText(std::string_view prefix, int member,
                                std::initializer_list<Argument> arguments = {});

 private:
  std::string text(int member, std::initializer_list<Argument> arguments = {}) const;
  std::int64_t readNumber(int member, std::initializer_list<Argument> arguments = {});
  std::string readText(int property);
  void assign(int property, marlo::activex::Value value);
  void dispatch(std::int32_t number, const std::vector<marlo::activex::Value>& parameters,
                bool queued);
};

// The drive the person named for the disc writer (cd_rw.ini, section [Disc writer], key Drive:
// "/dev/sr1", "stdio:/media/usb/backup.iso"); empty when none was named.
[[nodiscard]] std::string discWriterDrive();
// Tells the control the named drive, if any, so its next scan finds that one; call it before
// Call31. Without a setting the control takes the first drive it finds.
void useConfiguredDrive(CdWriterControl& control);

}  // namespace app
