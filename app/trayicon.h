// The main window `Trayicon`: the folder list, the folder form behind Insert/Change/Delete, the
// backup, the archive name, the Restore window, the settings and the notification-area icon.
// The program ends when it closes.
#pragma once

#include <string>

namespace app {

inline constexpr const char* kMainCaption = "Marlo BACKUP 0.1 BETA*";
inline constexpr const char* kWelcomeText = "Welcome to the Marlo BACKUP 0.1 BETA";
inline constexpr const char* kTimedOnText = "Timed Backup Activated!";
inline constexpr const char* kTimedOffText = "Timed Backup NOT Activated!";
inline constexpr const char* kArchiveBaseName = "Marlo_BACKUP";

// Control numbers, in the window's layout order.
enum class MainControl : int {
  STRING4 = 1,
  NAZIV_FOLDERA,
  OKBUTTON,
  CEK_SATI,
  PANEL1,
  LINE1,
  STRING5,
  STRING6,
  CANCELBUTTON,
  PANEL2,
  USPOREDNI_SAT_PROMPT,
  USPOREDNI_SAT_,
  USPOREDNI_SAT_PROMPT2,
  TIMED,
  OSTALO,
  BUTTON6,
  LIST,
  GET_R,
  SAJZ,
  INSERT,
  CHANGE,
  DELETE_,
  STRING8,
  PAT,
  NOTEPAD,
  CEK,
  BUTTON10,
  DANAS,
  SAT1,
  SAT2,
  SAT3,
  MINIMIZE,
};

void Trayicon();

// Where the disc writer keeps its temporary image; the main window deletes it when it closes.
[[nodiscard]] std::string discImagePath();

}  // namespace app
