// What a person does to a window, as a view (or the test driver) reports it to the engine.
// An input travels through the owning thread's queue like an event and is applied to the window
// model only when that window's accept loop takes it, so the model has one writer and the
// events it causes keep their order with everything else posted to the window.
#pragma once

#include <string>

#include "platform/window/control.h"

namespace marlo::win {

struct Input {
  enum class Kind {
    Enter,      // text typed into an entry or text box and confirmed (Accepted or Rejected)
    Edit,       // text being typed, not yet confirmed (NewSelection when the control is Immediate)
    Press,      // a button, check box or radio clicked (Accepted)
    SelectRow,  // a list row clicked (NewSelection when the highlight moves)
    ActivateRow,    // a list row double-clicked (its alert, or Accepted)
    RightClickRow,  // right button released over a row (0 = below the rows)
    Key,            // a key pressed while `control` had the focus (0 = the window)
    Scroll,         // a list's scroll bar: `scroll` is ScrollUp ... ScrollDrag, `thumb` 0..100
    Focus,          // the person moved the focus to `control` (Selected)
    State,          // minimised, maximised or restored by the person (Iconized, 563, 562)
    Geometry,       // moved or resized by the person (560, 561)
    Close,          // the close box (CloseWindow)
    Show,           // shown or hidden by another thread (no event)
  };

  Kind kind = Kind::Press;
  int control = 0;
  std::string text;
  int row = 0;
  KeyCode key = 0;
  EventCode scroll = 0;
  int thumb = 0;
  WindowState state = WindowState::Normal;
  bool changeState = false;  // Show: also put the window into `state`
  bool visible = true;
  Rect rect;

  static Input enter(int control, std::string text) {
    Input in;
    in.kind = Kind::Enter;
    in.control = control;
    in.text = std::move(text);
    return in;
  }
  static Input edit(int control, std::string text) {
    Input in = enter(control, std::move(text));
    in.kind = Kind::Edit;
    return in;
  }
  static Input press(int control) {
    Input in;
    in.kind = Kind::Press;
    in.control = control;
    return in;
  }
  static Input selectRow(int control, int row) {
    Input in;
    in.kind = Kind::SelectRow;
    in.control = control;
    in.row = row;
    return in;
  }
  static Input activateRow(int control, int row) {
    Input in;
    in.kind = Kind::ActivateRow;
    in.control = control;
    in.row = row;
    return in;
  }
  static Input rightClickRow(int control, int row) {
    Input in;
    in.kind = Kind::RightClickRow;
    in.control = control;
    in.row = row;
    return in;
  }
  static Input keyPress(int control, KeyCode key) {
    Input in;
    in.kind = Kind::Key;
    in.control = control;
    in.key = key;
    return in;
  }
  static Input scrollBar(int control, EventCode scroll, int thumb = 0) {
    Input in;
    in.kind = Kind::Scroll;
    in.control = control;
    in.scroll = scroll;
    in.thumb = thumb;
    return in;
  }
  static Input focus(int control) {
    Input in;
    in.kind = Kind::Focus;
    in.control = control;
    return in;
  }
  static Input windowState(WindowState state) {
    Input in;
    in.kind = Kind::State;
    in.state = state;
    return in;
  }
  static Input geometry(Rect rect) {
    Input in;
    in.kind = Kind::Geometry;
    in.rect = rect;
    return in;
  }
  static Input close() {
    Input in;
    in.kind = Kind::Close;
    return in;
  }
  static Input show(bool visible) {
    Input in;
    in.kind = Kind::Show;
    in.visible = visible;
    return in;
  }
  static Input show(bool visible, WindowState state) {
    Input in = show(visible);
    in.state = state;
    in.changeState = true;
    return in;
  }
};

}  // namespace marlo::win
