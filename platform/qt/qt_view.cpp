#include "platform/qt/qt_view.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QColorDialog>
#include <QComboBox>
#include <QCursor>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QFileDialog>
#include <QFontMetricsF>
#include <QFrame>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QStatusBar>
#include <QStyle>
#include <QSystemTrayIcon>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>
#include <QWindowStateChangeEvent>

#include <algorithm>
#include <cmath>

#include "platform/core/picture.h"

namespace marlo::qt {

namespace {

const char* const kWindowProperty = "marloWindow";
const char* const kControlProperty = "marloControl";

// The view is made before the engine and serves whichever engine the process has: what the
// person does goes to it (to none while the program starts or after it has ended).
void reportTray(WindowHandle window, unsigned id, TrayAction action) {
  if (Engine* engine = Engine::find()) engine->trayAction(window, id, action);
}

QString qs(const std::string& s) {
  return QString::fromStdString(s);
}

QColor toQColor(Colour c) {
  return QColor(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

Colour fromQColor(const QColor& c) {
  return c.red() | (c.green() << 8) | (c.blue() << 16);
}

Qt::Alignment toQt(Align a) {
  switch (a) {
    case Align::Center:
      return Qt::AlignHCenter | Qt::AlignVCenter;
    case Align::Right:
      return Qt::AlignRight | Qt::AlignVCenter;
    case Align::Left:
      break;
  }
  return Qt::AlignLeft | Qt::AlignVCenter;
}

// A Qt key as the engine numbers keys: the Windows virtual key plus modifier bits.
KeyCode keyCodeOf(const QKeyEvent& e) {
  KeyCode vk = 0;
  const int k = e.key();
  if (k >= Qt::Key_A && k <= Qt::Key_Z)
    vk = 0x41 + (k - Qt::Key_A);
  else if (k >= Qt::Key_0 && k <= Qt::Key_9)
    vk = 0x30 + (k - Qt::Key_0);
  else if (k >= Qt::Key_F1 && k <= Qt::Key_F12)
    vk = 0x70 + (k - Qt::Key_F1);
  else {
    switch (k) {
      case Qt::Key_Backspace:
        vk = 0x08;
        break;
      case Qt::Key_Tab:
        vk = key::Tab;
        break;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        vk = key::Enter;
        break;
      case Qt::Key_Escape:
        vk = key::Escape;
        break;
      case Qt::Key_Space:
        vk = 0x20;
        break;
      case Qt::Key_PageUp:
        vk = key::PageUp;
        break;
      case Qt::Key_PageDown:
        vk = key::PageDown;
        break;
      case Qt::Key_End:
        vk = key::End;
        break;
      case Qt::Key_Home:
        vk = key::Home;
        break;
      case Qt::Key_Left:
        vk = 0x25;
        break;
      case Qt::Key_Up:
        vk = key::Up;
        break;
      case Qt::Key_Right:
        vk = 0x27;
        break;
      case Qt::Key_Down:
        vk = key::Down;
        break;
      case Qt::Key_Insert:
        vk = key::Insert;
        break;
      case Qt::Key_Delete:
        vk = key::Delete;
        break;
      case Qt::Key_Apostrophe:
        vk = key::Apostrophe;
        break;
      default:
        return 0;
    }
  }
  if (e.modifiers() & Qt::ShiftModifier) vk |= key::Shift;
  if (e.modifiers() & Qt::ControlModifier) vk |= key::Ctrl;
  if (e.modifiers() & Qt::AltModifier) vk |= key::Alt;
  return vk;
}

QMessageBox::StandardButton toQt(unsigned b) {
  switch (b) {
    case button::Ok:
      return QMessageBox::Ok;
    case button::Yes:
      return QMessageBox::Yes;
    case button::No:
      return QMessageBox::No;
    case button::Abort:
      return QMessageBox::Abort;
    case button::Retry:
      return QMessageBox::Retry;
    case button::Ignore:
      return QMessageBox::Ignore;
    case button::Cancel:
      return QMessageBox::Cancel;
    case button::Help:
      return QMessageBox::Help;
    default:
      return QMessageBox::NoButton;
  }
}

unsigned fromQt(int b) {
  switch (b) {
    case QMessageBox::Ok:
      return button::Ok;
    case QMessageBox::Yes:
      return button::Yes;
    case QMessageBox::No:
      return button::No;
    case QMessageBox::Abort:
      return button::Abort;
    case QMessageBox::Retry:
      return button::Retry;
    case QMessageBox::Ignore:
      return button::Ignore;
    case QMessageBox::Cancel:
      return button::Cancel;
    case QMessageBox::Help:
      return button::Help;
    default:
      return 0;
  }
}

void fillMenu(QMenu& menu, const std::vector<MenuItem>& items, const std::shared_ptr<int>& chosen) {
  for (const auto& item : items) {
    if (item.separator) {
      menu.addSeparator();
      continue;
    }
    if (!item.children.empty()) {
      QMenu* sub = menu.addMenu(qs(item.text));
      sub->setEnabled(item.enabled);
      fillMenu(*sub, item.children, chosen);
      continue;
    }
    QAction* a = menu.addAction(qs(item.text));
    a->setEnabled(item.enabled);
    if (item.checked) {
      a->setCheckable(true);
      a->setChecked(true);
    }
    const int number = item.number;
    QObject::connect(a, &QAction::triggered, &menu, [chosen, number] { *chosen = number; });
  }
}

}  // namespace

std::string substituteFont(const std::string& name) {
  // The Windows fonts the layouts name, mapped to the DejaVu family that every machine of ours
  // has (without any font Qt draws every glyph as a box).
  static const std::map<std::string, std::string> table = {
      {"ms sans serif", "DejaVu Sans"}, {"tahoma", "DejaVu Sans"},
      {"small fonts", "DejaVu Sans"},   {"system", "DejaVu Sans"},
      {"arial", "DejaVu Sans"},         {"verdana", "DejaVu Sans"},
      {"segoe ui", "DejaVu Sans"},      {"courier new", "DejaVu Sans Mono"},
      {"courier", "DejaVu Sans Mono"},  {"times new roman", "DejaVu Serif"},
  };
  std::string lower = name;
  std::transform(lower.begin(), lower.end(), lower.begin(),
                 [](unsigned char c) { return std::tolower(c); });
  const auto it = table.find(lower);
  if (it != table.end()) return it->second;
  return name.empty() ? "DejaVu Sans" : name;
}

// --- Windows ---------------------------------------------------------------------------------

// A top-level window; it reports what the person does to it instead of acting on it itself.
class QtView::Frame : public QMainWindow {
 public:
  Frame(QtView& view, WindowHandle handle) : view_(view), handle_(handle) {}
  bool applying = false;  // the view itself is changing the window: nothing to report

 protected:
  void closeEvent(QCloseEvent* e) override {
    // Closing is the program's decision: the close box only asks.
    e->ignore();
    if (!applying) view_.personInput(handle_, Input::close());
  }
  void changeEvent(QEvent* e) override {
    QMainWindow::changeEvent(e);
    if (e->type() == QEvent::WindowStateChange || e->type() == QEvent::ActivationChange)
      view_.frameEvent(handle_, e);
  }
  void resizeEvent(QResizeEvent* e) override {
    QMainWindow::resizeEvent(e);
    view_.frameEvent(handle_, e);
  }
  void moveEvent(QMoveEvent* e) override {
    QMainWindow::moveEvent(e);
    view_.frameEvent(handle_, e);
  }

 private:
  QtView& view_;
  WindowHandle handle_;
};

struct QtView::Win {
  WindowHandle handle = 0;
  QPointer<Frame> frame;
  QWidget* content = nullptr;
  std::map<int, QWidget*> controls;
  std::map<int, ControlState> states;
  std::map<int, QButtonGroup*> groups;        // option group number -> its radios
  std::map<int, QPointer<QWidget>> overlays;  // widgets laid over controls
  std::vector<QLabel*> zones;
  WindowProps props;
  QFont font;
  double unitX = 1.5;
  double unitY = 1.625;
  bool placed = false;
};

QtView::QtView() {
  QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
  refreshTrayAvailability();
  // A tray host may come and go while the program runs (a panel restarted).
  trayPoll_ = new QTimer(this);
  connect(trayPoll_, &QTimer::timeout, this, [this] { refreshTrayAvailability(); });
  trayPoll_->start(2000);
}

QtView::~QtView() {
  for (auto& [key, icon] : trays_) delete icon;
  trays_.clear();
  // Widgets being destroyed still send events (focus leaving) to the filter; with the windows
  // already out of the table, the filter finds nothing and leaves them alone.
  std::map<WindowHandle, std::unique_ptr<Win>> windows;
  windows.swap(windows_);
  for (auto& [h, win] : windows) {
    detachDocuments(*win);
    if (win->frame) delete win->frame.data();
  }
}

void QtView::refreshTrayAvailability() {
  trayAvailable_ = QSystemTrayIcon::isSystemTrayAvailable();
}

void QtView::onGui(std::function<void()> call) {
  QMetaObject::invokeMethod(this, std::move(call), Qt::QueuedConnection);
}

QtView::Win* QtView::find(WindowHandle window) const {
  const auto it = windows_.find(window);
  return it == windows_.end() || !it->second->frame ? nullptr : it->second.get();
}

QMainWindow* QtView::windowWidget(WindowHandle window) const {
  Win* w = find(window);
  return w != nullptr ? w->frame.data() : nullptr;
}

QWidget* QtView::controlWidget(WindowHandle window, int control) const {
  Win* w = find(window);
  if (w == nullptr) return nullptr;
  const auto it = w->controls.find(control);
  return it == w->controls.end() ? nullptr : it->second;
}

QWidget* QtView::overlayWidget(WindowHandle window, int control) const {
  Win* w = find(window);
  if (w == nullptr) return nullptr;
  const auto it = w->overlays.find(control);
  return it == w->overlays.end() ? nullptr : it->second.data();
}

void QtView::overlay(WindowHandle window, int control, std::function<QWidget*(QWidget*)> make) {
  onGui([this, window, control, make = std::move(make)] {
    Win* w = find(window);
    if (w == nullptr || w->controls.count(control) == 0) return;
    if (QWidget* old = w->overlays[control].data()) old->deleteLater();
    QWidget* widget = make(w->content);
    if (widget == nullptr) return;
    widget->setParent(w->content);
    w->overlays[control] = widget;
    placeOverlay(*w, control);
  });
}

void QtView::removeOverlay(WindowHandle window, int control) {
  onGui([this, window, control] {
    Win* w = find(window);
    if (w == nullptr) return;
    const auto it = w->overlays.find(control);
    if (it == w->overlays.end()) return;
    if (QWidget* old = it->second.data()) old->deleteLater();
    w->overlays.erase(it);
  });
}

// An overlay takes the control's rectangle and visibility and lies above it.
void QtView::placeOverlay(Win& w, int control) {
  const auto it = w.overlays.find(control);
  if (it == w.overlays.end() || it->second.isNull() || w.controls.count(control) == 0) return;
  QWidget* over = it->second.data();
  const ControlState& s = w.states[control];
  over->setGeometry(w.controls[control]->geometry());
  over->setVisible(s.visible());
  over->setEnabled(s.enabled());
  over->raise();
}

std::pair<double, double> QtView::dialogUnit(WindowHandle window) const {
  Win* w = find(window);
  return w != nullptr ? std::make_pair(w->unitX, w->unitY) : std::make_pair(0.0, 0.0);
}

void QtView::personInput(WindowHandle window, Input input) {
  if (Engine* engine = Engine::find()) engine->sendInput(window, std::move(input));
}

void QtView::windowOpened(const WindowSnapshot& window) {
  onGui([this, window] { createWindow(window); });
}

void QtView::windowChanged(const WindowProps& props) {
  onGui([this, props] {
    if (Win* w = find(props.handle)) applyProps(*w, props);
  });
}

void QtView::controlChanged(WindowHandle window, const ControlState& control) {
  onGui([this, window, control] {
    if (Win* w = find(window)) applyControl(*w, control);
  });
}

void QtView::windowClosed(WindowHandle window) {
  onGui([this, window] {
    const auto it = windows_.find(window);
    if (it == windows_.end()) return;
    detachDocuments(*it->second);
    if (Frame* f = it->second->frame.data()) {
      f->applying = true;
      f->hide();
      f->deleteLater();
    }
    windows_.erase(it);
  });
}

void QtView::activateWindow(WindowHandle window) {
  onGui([this, window] {
    Win* w = find(window);
    Frame* f = w != nullptr ? w->frame.data() : nullptr;
    if (f == nullptr || !f->isVisible()) return;
    f->raise();
    f->activateWindow();
  });
}

void QtView::focusControl(WindowHandle window, int control) {
  onGui([this, window, control] {
    if (QWidget* c = controlWidget(window, control)) c->setFocus(Qt::OtherFocusReason);
  });
}

void QtView::createWindow(const WindowSnapshot& snapshot) {
  auto win = std::make_unique<Win>();
  win->handle = snapshot.props.handle;
  auto* frame = new Frame(*this, win->handle);
  win->frame = frame;
  frame->setAttribute(Qt::WA_DeleteOnClose, false);
  frame->setProperty(kWindowProperty, win->handle);
  win->content = new QWidget(frame);
  frame->setCentralWidget(win->content);

  const Font& f = snapshot.props.font;
  win->font = QFont(qs(substituteFont(f.name)), f.size > 0 ? f.size : 8);
  win->font.setBold(f.bold);
  win->font.setItalic(f.italic);
  frame->setFont(win->font);
  // Dialog units: a quarter of the average width of the alphabet, an eighth of the height.
  const QFontMetricsF m(win->font);
  win->unitX =
      m.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) /
      52.0 / 4.0;
  win->unitY = m.height() / 8.0;

  Win& w = *win;
  windows_[w.handle] = std::move(win);
  for (const auto& c : snapshot.controls) applyControl(w, c);
  applyProps(w, snapshot.props);
}

void QtView::applyProps(Win& w, const WindowProps& p) {
  Frame* frame = w.frame.data();
  if (frame == nullptr) return;
  Frame& f = *frame;
  f.applying = true;
  const WindowProps before = w.props;
  w.props = p;
  f.setWindowTitle(qs(p.title));
  f.setEnabled(p.enabled);
  f.setCursor(p.cursor == Cursor::Wait ? Qt::WaitCursor : Qt::ArrowCursor);
  if (p.fillColour != kNoColour) {
    QPalette pal = w.content->palette();
    pal.setColor(QPalette::Window, toQColor(p.fillColour));
    w.content->setPalette(pal);
    w.content->setAutoFillBackground(true);
  }

  // Status bar zones.
  if (!p.statusWidths.empty()) {
    QStatusBar* bar = f.statusBar();
    while (w.zones.size() < p.statusWidths.size()) {
      auto* label = new QLabel(bar);
      label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
      const int width = p.statusWidths[w.zones.size()];
      if (width > 0) {
        label->setMinimumWidth(static_cast<int>(width * w.unitX));
        bar->addWidget(label);
      } else {
        bar->addWidget(label, 1);
      }
      w.zones.push_back(label);
    }
    for (std::size_t i = 0; i < w.zones.size(); ++i) {
      w.zones[i]->setText(i < p.statusTexts.size() ? qs(p.statusTexts[i]) : QString());
    }
  }

  const int width = static_cast<int>(std::lround(p.rect.width * w.unitX));
  const int height = static_cast<int>(std::lround(p.rect.height * w.unitY));
  const int barHeight = p.statusWidths.empty() ? 0 : f.statusBar()->sizeHint().height();
  if (!w.placed || before.rect != p.rect || before.resizable != p.resizable) {
    if (p.resizable) {
      f.setMinimumSize(
          p.minimum.width > 0 ? static_cast<int>(p.minimum.width * w.unitX) : 0,
          p.minimum.height > 0 ? static_cast<int>(p.minimum.height * w.unitY) + barHeight : 0);
      f.setMaximumSize(
          p.maximum.width > 0 ? static_cast<int>(p.maximum.width * w.unitX) : QWIDGETSIZE_MAX,
          p.maximum.height > 0 ? static_cast<int>(p.maximum.height * w.unitY) + barHeight
                               : QWIDGETSIZE_MAX);
      f.resize(width, height + barHeight);
    } else {
      f.setFixedSize(width, height + barHeight);
    }
    if (!w.placed && p.centred) {
      if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect r = screen->availableGeometry();
        f.move(r.center() - QPoint(width / 2, (height + barHeight) / 2));
      }
    } else if (!p.centred) {
      f.move(static_cast<int>(p.rect.x * w.unitX), static_cast<int>(p.rect.y * w.unitY));
    }
  }

  if (!p.visible) {
    f.hide();
  } else if (p.state == WindowState::Minimized) {
    if (!f.isMinimized()) f.showMinimized();
  } else if (p.state == WindowState::Maximized) {
    if (!f.isMaximized()) f.showMaximized();
  } else if (!f.isVisible() || f.isMinimized() || f.isMaximized()) {
    f.showNormal();
  }
  w.placed = true;
  f.applying = false;
}

// What the person does to the window frame becomes input for the owning thread.
void QtView::frameEvent(WindowHandle window, QEvent* event) {
  Win* w = find(window);
  Frame* frame = w != nullptr ? w->frame.data() : nullptr;
  if (frame == nullptr || frame->applying || !w->placed) return;
  Frame& f = *frame;
  if (event->type() == QEvent::ActivationChange) {
    if (Engine* engine = Engine::find(); engine != nullptr && f.isActiveWindow())
      engine->activate(window);
    return;
  }
  if (event->type() == QEvent::WindowStateChange) {
    const WindowState s = f.isMinimized()   ? WindowState::Minimized
                          : f.isMaximized() ? WindowState::Maximized
                                            : WindowState::Normal;
    if (s != w->props.state) personInput(window, Input::windowState(s));
    return;
  }
  if (!f.isVisible() || f.isMinimized() || f.isMaximized()) return;
  const int barHeight = w->props.statusWidths.empty() ? 0 : f.statusBar()->height();
  Rect r;
  r.x = static_cast<int>(std::lround(f.x() / w->unitX));
  r.y = static_cast<int>(std::lround(f.y() / w->unitY));
  r.width = static_cast<int>(std::lround(f.width() / w->unitX));
  r.height = static_cast<int>(std::lround((f.height() - barHeight) / w->unitY));
  if (w->props.centred) {
    r.x = w->props.rect.x;
    r.y = w->props.rect.y;
  }
  if (r != w->props.rect) personInput(window, Input::geometry(r));
}

// --- Controls ----------------------------------------------------------------------------------

namespace {

// The editor shows the control's document. A document made on a program thread is handed over
// without a thread (see the rich-text component) and joins the GUI thread here, where the
// person edits it from now on.
void showDocument(QTextEdit& editor, const std::shared_ptr<QTextDocument>& document) {
  QTextDocument* doc = document.get();
  if (doc != nullptr && doc->thread() != QThread::currentThread()) {
    if (doc->thread() != nullptr) return;  // another thread's: never shown from here
    doc->moveToThread(QThread::currentThread());
  }
  if (editor.document() == doc) return;
  // An editor deletes a document it owns when it gets another; the program's it only leaves.
  editor.setDocument(doc != nullptr ? doc : new QTextDocument(&editor));
}

// What making a control's widget needs: where it goes, which control it shows, and how what the
// person does reaches the engine. Connections and event filters belong to the view.
struct Making {
  QObject* view = nullptr;
  QWidget* parent = nullptr;
  WindowHandle window = 0;
  int control = 0;
  std::function<void(Input)> report;
};

// Events of a scrolling widget's viewport reach the view's filter as the control's own.
void watchViewport(const Making& m, QAbstractScrollArea& area) {
  area.viewport()->setProperty(kWindowProperty, m.window);
  area.viewport()->setProperty(kControlProperty, m.control);
  area.viewport()->installEventFilter(m.view);
}

QWidget* reportPress(const Making& m, QAbstractButton* button) {
  const int n = m.control;
  QObject::connect(button, &QAbstractButton::clicked, m.view,
                   [report = m.report, n] { report(Input::press(n)); });
  return button;
}

QWidget* makeLabel(const Making& m) {
  auto* label = new QLabel(m.parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

QWidget* makeEntry(const Making& m) {
  auto* edit = new QLineEdit(m.parent);
  const int n = m.control;
  QObject::connect(edit, &QLineEdit::textEdited, m.view, [report = m.report, n](const QString& t) {
    report(Input::edit(n, t.toStdString()));
  });
  QObject::connect(edit, &QLineEdit::editingFinished, m.view, [report = m.report, n, edit] {
    if (!edit->isModified()) return;
    edit->setModified(false);
    report(Input::enter(n, edit->text().toStdString()));
  });
  return edit;
}

QWidget* makeCheckBox(const Making& m, const ControlState& s) {
  if (!s.has(flag::Latch)) return reportPress(m, new QCheckBox(m.parent));
  auto* latch = new QPushButton(m.parent);
  latch->setCheckable(true);
  return reportPress(m, latch);
}

QWidget* makeDropList(const Making& m) {
  auto* combo = new QComboBox(m.parent);
  const int n = m.control;
  QObject::connect(combo, &QComboBox::activated, m.view,
                   [report = m.report, n](int index) { report(Input::selectRow(n, index + 1)); });
  return combo;
}

QWidget* makeList(const Making& m) {
  auto* tree = new QTreeWidget(m.parent);
  tree->setRootIsDecorated(false);
  tree->setUniformRowHeights(true);
  tree->setAllColumnsShowFocus(true);
  tree->setSelectionMode(QAbstractItemView::SingleSelection);
  tree->setContextMenuPolicy(Qt::NoContextMenu);
  watchViewport(m, *tree);
  const int n = m.control;
  const auto report = m.report;
  QObject::connect(tree, &QTreeWidget::itemPressed, m.view, [report, n, tree](QTreeWidgetItem* i) {
    if (QApplication::mouseButtons() & Qt::LeftButton)
      report(Input::selectRow(n, tree->indexOfTopLevelItem(i) + 1));
  });
  QObject::connect(tree, &QTreeWidget::itemDoubleClicked, m.view,
                   [report, n, tree](QTreeWidgetItem* item) {
                     report(Input::activateRow(n, tree->indexOfTopLevelItem(item) + 1));
                   });
  // A person dragging the scroll bar's thumb reports where it was let go, as 0..100 of the
  // way down, so that a list showing one page at a time can fetch the records there.
  QObject::connect(
      tree->verticalScrollBar(), &QScrollBar::sliderReleased, m.view, [report, n, tree] {
        const QScrollBar* bar = tree->verticalScrollBar();
        const int range = bar->maximum() - bar->minimum();
        const int thumb = range <= 0 ? 0 : (bar->value() - bar->minimum()) * 100 / range;
        report(Input::scrollBar(n, event::ScrollDrag, thumb));
      });
  return tree;
}

QWidget* makeFrame(const Making& m, int style) {
  auto* frame = new QFrame(m.parent);
  frame->setFrameStyle(style);
  return frame;
}

QWidget* makeProgress(const Making& m) {
  auto* bar = new QProgressBar(m.parent);
  bar->setTextVisible(false);
  return bar;
}

QWidget* makeRichText(const Making& m) {
  auto* edit = new QTextEdit(m.parent);
  edit->setAcceptRichText(true);
  // The program shows its own popup on the right button's release.
  edit->setContextMenuPolicy(Qt::NoContextMenu);
  watchViewport(m, *edit);
  return edit;
}

QWidget* makeWidget(const Making& m, const ControlState& s) {
  switch (s.kind) {
    case ControlKind::Text:
    case ControlKind::Prompt:
      return makeLabel(m);
    case ControlKind::Entry:
    case ControlKind::Display:
      return makeEntry(m);
    case ControlKind::Button:
      return reportPress(m, new QPushButton(m.parent));
    case ControlKind::CheckBox:
      return makeCheckBox(m, s);
    case ControlKind::OptionGroup:
      return new QGroupBox(m.parent);
    case ControlKind::Radio:
      return reportPress(m, new QRadioButton(m.parent));
    case ControlKind::List:
      return s.has(flag::Drop) ? makeDropList(m) : makeList(m);
    case ControlKind::Panel:
      return makeFrame(m, QFrame::Panel | QFrame::Sunken);
    case ControlKind::Line:
      return makeFrame(m, QFrame::HLine | QFrame::Sunken);
    case ControlKind::Progress:
      return makeProgress(m);
    case ControlKind::TextBox:
      return new QPlainTextEdit(m.parent);
    case ControlKind::RichText:
      return makeRichText(m);
    case ControlKind::ActiveX:
    case ControlKind::Region:
      break;
  }
  return new QWidget(m.parent);
}

// Font, colours and hint: what every kind of control shows alike.
void showLook(QWidget& widget, const QFont& windowFont, const ControlState& s) {
  QFont font = windowFont;
  if (!s.font.name.empty()) font.setFamily(qs(substituteFont(s.font.name)));
  if (s.font.size > 0) font.setPointSize(s.font.size);
  if (s.font.bold) font.setBold(true);
  if (s.font.italic) font.setItalic(true);
  if (s.font.underline) font.setUnderline(true);
  widget.setFont(font);

  QPalette pal = widget.palette();
  if (s.textColour != kNoColour) {
    pal.setColor(QPalette::WindowText, toQColor(s.textColour));
    pal.setColor(QPalette::Text, toQColor(s.textColour));
  }
  const bool filled = s.fillColour != kNoColour && !s.has(flag::Transparent);
  if (filled) {
    pal.setColor(QPalette::Window, toQColor(s.fillColour));
    pal.setColor(QPalette::Base, toQColor(s.fillColour));
  }
  widget.setPalette(pal);
  widget.setAutoFillBackground(filled);
  widget.setToolTip(qs(s.tip));
}

void showLabel(QLabel& label, const ControlState& s) {
  // "&&" shows one ampersand; a single one marks the access key, which a label does not show.
  QString text = qs(s.text);
  text.replace(QStringLiteral("&&"), QStringLiteral("\x01")).remove('&').replace('\x01', '&');
  label.setText(text);
  label.setAlignment(toQt(s.align) | Qt::AlignTop);
  label.setWordWrap(s.rect.height > 12);
}

void showEntry(QLineEdit& edit, const ControlState& s) {
  // What the person is typing stays until the field is left.
  if (!edit.isModified() || !edit.hasFocus()) {
    if (edit.text() != qs(s.value)) edit.setText(qs(s.value));
    edit.setModified(false);
  }
  edit.setReadOnly(s.kind == ControlKind::Display || s.has(flag::ReadOnly));
  const auto picture = Picture::parse(s.picture);
  edit.setAlignment(picture && picture->rightAligned() ? Qt::AlignRight : toQt(s.align));
  if (s.kind == ControlKind::Display) edit.setFrame(!s.has(flag::Transparent));
}

void showButton(QPushButton& button, const ControlState& s) {
  button.setText(qs(s.text));
  button.setDefault(s.has(flag::Default));
}

void showCheckBox(QAbstractButton& box, const ControlState& s) {
  box.setText(qs(s.text));
  box.setChecked(s.value == "1");
}

void showDropList(QComboBox& combo, const ControlState& s, const ControlState* before) {
  if (before == nullptr || before->rows != s.rows) {
    combo.clear();
    for (const auto& row : s.rows) combo.addItem(row.empty() ? QString() : qs(row[0]));
  }
  combo.setCurrentIndex(s.selection - 1);
}

bool sameColumns(const ControlState& s, const ControlState* before) {
  return before != nullptr && before->columns.size() == s.columns.size() &&
         std::equal(s.columns.begin(), s.columns.end(), before->columns.begin(),
                    [](const ListColumn& a, const ListColumn& b) {
                      return a.header == b.header && a.width == b.width;
                    });
}

void showColumns(QTreeWidget& tree, const ControlState& s, double unitX) {
  tree.setColumnCount(static_cast<int>(std::max<std::size_t>(1, s.columns.size())));
  QStringList headers;
  bool anyHeader = false;
  for (const auto& c : s.columns) {
    headers << qs(c.header);
    anyHeader = anyHeader || !c.header.empty();
  }
  if (!s.columns.empty()) tree.setHeaderLabels(headers);
  tree.setHeaderHidden(!anyHeader);
  for (std::size_t i = 0; i < s.columns.size(); ++i) {
    const int col = static_cast<int>(i);
    tree.setColumnWidth(col, static_cast<int>(std::lround(s.columns[i].width * unitX)));
    tree.setColumnHidden(col, s.columns[i].width == 0);
    tree.headerItem()->setTextAlignment(col, toQt(s.columns[i].headerAlign));
  }
}

void showRows(QTreeWidget& tree, const ControlState& s) {
  const std::size_t columns = std::max<std::size_t>(1, s.columns.size());
  tree.clear();
  QList<QTreeWidgetItem*> items;
  items.reserve(static_cast<qsizetype>(s.rows.size()));
  for (const auto& row : s.rows) {
    auto* item = new QTreeWidgetItem;
    for (std::size_t i = 0; i < row.size() && i < columns; ++i) {
      item->setText(static_cast<int>(i), qs(row[i]));
      if (i < s.columns.size())
        item->setTextAlignment(static_cast<int>(i), toQt(s.columns[i].align));
    }
    items << item;
  }
  tree.addTopLevelItems(items);
}

void showList(QTreeWidget& tree, const ControlState& s, const ControlState* before, double unitX) {
  if (!sameColumns(s, before)) showColumns(tree, s, unitX);
  if (before == nullptr || before->rows != s.rows || before->columns.size() != s.columns.size())
    showRows(tree, s);
  if (s.selection > 0 && s.selection <= tree.topLevelItemCount()) {
    QTreeWidgetItem* item = tree.topLevelItem(s.selection - 1);
    tree.setCurrentItem(item);
    tree.scrollToItem(item);
  } else {
    tree.clearSelection();
  }
  tree.setVerticalScrollBarPolicy(s.has(flag::VScroll) ? Qt::ScrollBarAsNeeded
                                                       : Qt::ScrollBarAlwaysOff);
}

void showProgress(QProgressBar& bar, const ControlState& s) {
  bar.setRange(s.rangeLow, std::max(s.rangeLow, s.rangeHigh));
  bar.setValue(std::clamp(s.progress, s.rangeLow, std::max(s.rangeLow, s.rangeHigh)));
}

void showTextBox(QPlainTextEdit& text, const ControlState& s) {
  if (text.toPlainText() != qs(s.value)) text.setPlainText(qs(s.value));
  text.setReadOnly(s.has(flag::ReadOnly));
}

void showRichText(QTextEdit& edit, const ControlState& s) {
  showDocument(edit, s.document);
  edit.setReadOnly(s.has(flag::ReadOnly));
  edit.setVerticalScrollBarPolicy(s.has(flag::VScroll) ? Qt::ScrollBarAsNeeded
                                                       : Qt::ScrollBarAlwaysOff);
  edit.setHorizontalScrollBarPolicy(s.has(flag::HScroll) ? Qt::ScrollBarAsNeeded
                                                         : Qt::ScrollBarAlwaysOff);
  // Lines run on past the edge only when there is a scroll bar to reach them.
  edit.setLineWrapMode(s.has(flag::HScroll) ? QTextEdit::NoWrap : QTextEdit::WidgetWidth);
  edit.setFrameShape(s.has(flag::Transparent) ? QFrame::NoFrame : QFrame::StyledPanel);
  edit.viewport()->setAutoFillBackground(!s.has(flag::Transparent));
}

}  // namespace

QWidget* QtView::createControl(Win& w, const ControlState& s) {
  const WindowHandle h = w.handle;
  const int n = s.number;
  const Making making{this, w.content, h, n,
                      [this, h](Input input) { personInput(h, std::move(input)); }};
  QWidget* widget = makeWidget(making, s);
  if (s.kind == ControlKind::OptionGroup) w.groups[n] = new QButtonGroup(widget);
  widget->setProperty(kWindowProperty, h);
  widget->setProperty(kControlProperty, n);
  widget->installEventFilter(this);
  // Panels and lines are background: later controls lie on them.
  if (s.kind == ControlKind::Panel || s.kind == ControlKind::Line ||
      s.kind == ControlKind::OptionGroup)
    widget->lower();
  w.controls[n] = widget;
  return widget;
}

void QtView::placeControl(Win& w, QWidget* widget, const ControlState& s) {
  widget->setGeometry(static_cast<int>(std::lround(s.rect.x * w.unitX)),
                      static_cast<int>(std::lround(s.rect.y * w.unitY)),
                      std::max(1, static_cast<int>(std::lround(s.rect.width * w.unitX))),
                      std::max(1, static_cast<int>(std::lround(s.rect.height * w.unitY))));
}

// The chosen radio follows the group's value.
void QtView::showOptionGroup(Win& w, QGroupBox& group, const ControlState& s) {
  group.setTitle(qs(s.text));
  int index = 0;
  for (const auto& [number, state] : w.states) {
    if (state.kind != ControlKind::Radio || state.parent != s.number) continue;
    ++index;
    if (auto* r = qobject_cast<QRadioButton*>(w.controls[number])) {
      const QSignalBlocker rb(r);
      r->setChecked(std::to_string(index) == s.value);
    }
  }
}

void QtView::showRadio(Win& w, QRadioButton& radio, const ControlState& s) {
  radio.setText(qs(s.text));
  if (w.groups.count(s.parent) && !w.groups[s.parent]->buttons().contains(&radio))
    w.groups[s.parent]->addButton(&radio);
}

void QtView::showContent(Win& w, QWidget* widget, const ControlState& s,
                         const ControlState* before) {
  switch (s.kind) {
    case ControlKind::Text:
    case ControlKind::Prompt:
      return showLabel(*static_cast<QLabel*>(widget), s);
    case ControlKind::Entry:
    case ControlKind::Display:
      return showEntry(*static_cast<QLineEdit*>(widget), s);
    case ControlKind::Button:
      return showButton(*static_cast<QPushButton*>(widget), s);
    case ControlKind::CheckBox:
      return showCheckBox(*static_cast<QAbstractButton*>(widget), s);
    case ControlKind::OptionGroup:
      return showOptionGroup(w, *static_cast<QGroupBox*>(widget), s);
    case ControlKind::Radio:
      return showRadio(w, *static_cast<QRadioButton*>(widget), s);
    case ControlKind::List:
      if (auto* combo = qobject_cast<QComboBox*>(widget)) return showDropList(*combo, s, before);
      return showList(*static_cast<QTreeWidget*>(widget), s, before, w.unitX);
    case ControlKind::Progress:
      return showProgress(*static_cast<QProgressBar*>(widget), s);
    case ControlKind::TextBox:
      return showTextBox(*static_cast<QPlainTextEdit*>(widget), s);
    case ControlKind::RichText:
      return showRichText(*static_cast<QTextEdit*>(widget), s);
    case ControlKind::Panel:
    case ControlKind::Line:
    case ControlKind::ActiveX:
    case ControlKind::Region:
      return;
  }
}

void QtView::applyControl(Win& w, const ControlState& s) {
  QWidget* widget = w.controls.count(s.number) ? w.controls[s.number] : createControl(w, s);
  const ControlState* before = w.states.count(s.number) ? &w.states[s.number] : nullptr;
  if (before == nullptr || before->rect != s.rect) placeControl(w, widget, s);
  showLook(*widget, w.font, s);
  const QSignalBlocker block(widget);
  showContent(w, widget, s, before);
  widget->setVisible(s.visible());
  widget->setEnabled(s.enabled());
  w.states[s.number] = s;
  placeOverlay(w, s.number);
  // A radio added before its group knows its state: refresh the group.
  if (s.kind == ControlKind::Radio && w.states.count(s.parent)) {
    const ControlState group = w.states[s.parent];
    if (before == nullptr) applyControl(w, group);
  }
}

bool QtView::eventFilter(QObject* watched, QEvent* event) {
  const QVariant wv = watched->property(kWindowProperty);
  const QVariant cv = watched->property(kControlProperty);
  if (!wv.isValid() || !cv.isValid()) return false;
  const WindowHandle h = wv.toInt();
  const int n = cv.toInt();
  Win* w = find(h);
  if (w == nullptr || !w->states.count(n)) return false;
  const ControlState& s = w->states[n];

  if (event->type() == QEvent::KeyPress) {
    const KeyCode k = keyCodeOf(*static_cast<QKeyEvent*>(event));
    if (k == 0) return s.kind == ControlKind::List;
    const bool alerted = std::count(s.alerts.begin(), s.alerts.end(), k) > 0 ||
                         std::count(w->props.alerts.begin(), w->props.alerts.end(), k) > 0;
    // The engine moves a list's highlight, so both views behave alike; a list's own keyboard
    // search would move it behind the engine's back, so a list passes on only Tab.
    const bool tab = (k & 0xFF) == key::Tab;
    if (alerted || (s.kind == ControlKind::List && !tab)) {
      personInput(h, Input::keyPress(n, k));
      return true;
    }
    return false;
  }
  if (event->type() == QEvent::MouseButtonRelease && s.kind == ControlKind::RichText) {
    // Reported after the editor has moved its selection (the filter sits on the viewport), so
    // the program reads the selection the click made.
    const auto button = static_cast<QMouseEvent*>(event)->button();
    const KeyCode k = button == Qt::RightButton  ? key::MouseRightUp
                      : button == Qt::LeftButton ? key::MouseLeftUp
                                                 : 0;
    if (k != 0) {
      QTimer::singleShot(0, this, [this, h, n, k] { personInput(h, Input::keyPress(n, k)); });
    }
    return false;
  }
  if (event->type() == QEvent::MouseButtonRelease && s.kind == ControlKind::List) {
    auto* me = static_cast<QMouseEvent*>(event);
    if (me->button() != Qt::RightButton) return false;
    auto* tree = static_cast<QTreeWidget*>(w->controls[n]);
    QTreeWidgetItem* item = tree->itemAt(me->position().toPoint());
    personInput(h,
                Input::rightClickRow(n, item != nullptr ? tree->indexOfTopLevelItem(item) + 1 : 0));
    return true;
  }
  if (event->type() == QEvent::FocusIn && watched == w->controls[n] &&
      s.kind != ControlKind::Panel) {
    personInput(h, Input::focus(n));
  }
  if (event->type() == QEvent::FocusOut && s.kind == ControlKind::TextBox) {
    auto* text = static_cast<QPlainTextEdit*>(w->controls[n]);
    if (text->toPlainText() != qs(s.value))
      personInput(h, Input::enter(n, text->toPlainText().toStdString()));
  }
  return false;
}

// --- Dialogs -----------------------------------------------------------------------------------

namespace {

// A dialog goes with its window (modal to it alone), or to the whole program when it has none.
void makeModal(QWidget& dialog, QWidget* parent) {
  dialog.setAttribute(Qt::WA_DeleteOnClose);
  dialog.setWindowModality(parent != nullptr ? Qt::WindowModal : Qt::ApplicationModal);
}

void setMessageIcon(QMessageBox& box, MessageIcon icon) {
  switch (icon) {
    case MessageIcon::Exclamation:
      box.setIcon(QMessageBox::Warning);
      break;
    case MessageIcon::Asterisk:
      box.setIcon(QMessageBox::Information);
      break;
    case MessageIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
    case MessageIcon::Hand:
      box.setIcon(QMessageBox::Critical);
      break;
    case MessageIcon::None:
      break;
  }
}

void showMessageBox(QWidget* parent, const DialogRequest& request, const AnswerFn& answer) {
  auto* box = new QMessageBox(parent);
  makeModal(*box, parent);
  box->setWindowTitle(qs(request.title));
  box->setText(qs(request.text));
  setMessageIcon(*box, request.icon);
  QMessageBox::StandardButtons buttons;
  for (unsigned b = 1; b <= button::Help; b <<= 1) {
    if (request.buttons & b) buttons |= toQt(b);
  }
  box->setStandardButtons(buttons);
  box->setDefaultButton(toQt(request.defaultButton));
  const unsigned fallback = request.defaultButton;
  QObject::connect(box, &QMessageBox::finished, box, [box, answer, fallback](int) {
    DialogAnswer a;
    QAbstractButton* clicked = box->clickedButton();
    a.button = clicked != nullptr ? fromQt(box->standardButton(clicked)) : fallback;
    if (a.button == 0) a.button = fallback;
    answer(a);
  });
  box->open();
}

// "Archive (*.LZH)" for each mask; several patterns of one mask are separated by blanks.
QStringList nameFilters(const std::vector<FileMask>& masks) {
  QStringList filters;
  for (const auto& m : masks) {
    QString patterns = qs(m.pattern);
    patterns.replace(';', ' ');
    filters << qs(m.description) + QStringLiteral(" (") + patterns + QStringLiteral(")");
  }
  return filters;
}

void showFileDialog(QWidget* parent, const DialogRequest& request, const AnswerFn& answer) {
  auto* dialog = new QFileDialog(parent, qs(request.title), qs(request.directory));
  dialog->setOption(QFileDialog::DontUseNativeDialog);
  makeModal(*dialog, parent);
  if (request.kind == DialogRequest::Kind::Folder) {
    dialog->setFileMode(QFileDialog::Directory);
    dialog->setOption(QFileDialog::ShowDirsOnly);
  } else {
    const bool save = request.kind == DialogRequest::Kind::SaveFile;
    dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    const QStringList filters = nameFilters(request.masks);
    if (!filters.isEmpty()) dialog->setNameFilters(filters);
    if (!request.fileName.empty()) dialog->selectFile(qs(request.fileName));
  }
  QObject::connect(dialog, &QFileDialog::finished, dialog, [dialog, answer](int result) {
    DialogAnswer a;
    if (result == QDialog::Accepted && !dialog->selectedFiles().isEmpty()) {
      a.path = dialog->selectedFiles().constFirst().toStdString();
    }
    answer(a);
  });
  dialog->open();
}

void showColourDialog(QWidget* parent, const DialogRequest& request, const AnswerFn& answer) {
  auto* dialog = new QColorDialog(parent);
  dialog->setOption(QColorDialog::DontUseNativeDialog);
  makeModal(*dialog, parent);
  if (!request.title.empty()) dialog->setWindowTitle(qs(request.title));
  if (request.colour != kNoColour) dialog->setCurrentColor(toQColor(request.colour));
  QObject::connect(dialog, &QColorDialog::finished, dialog, [dialog, answer](int result) {
    DialogAnswer a;
    a.button = result == QDialog::Accepted ? button::Ok : button::Cancel;
    if (result == QDialog::Accepted) a.colour = fromQColor(dialog->currentColor());
    answer(a);
  });
  dialog->open();
}

void showPrintDialog(QWidget* parent, const DialogRequest& request, const AnswerFn& answer) {
  auto* dialog = new QPrintDialog(parent);
  makeModal(*dialog, parent);
  // The whole document is printed: no page range, no selection.
  dialog->setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
  dialog->printer()->setDocName(qs(request.title));
  QObject::connect(dialog, &QPrintDialog::finished, dialog, [dialog, answer](int result) {
    DialogAnswer a;
    a.button = result == QDialog::Accepted ? button::Ok : button::Cancel;
    if (result == QDialog::Accepted) {
      const QPrinter* printer = dialog->printer();
      if (printer->outputFormat() == QPrinter::PdfFormat)
        a.path = printer->outputFileName().toStdString();
      else
        a.printer = printer->printerName().toStdString();
    }
    answer(a);
  });
  dialog->open();
}

void showPopup(QWidget* parent, const DialogRequest& request, const AnswerFn& answer) {
  auto* menu = new QMenu(parent);
  menu->setAttribute(Qt::WA_DeleteOnClose);
  auto chosen = std::make_shared<int>(0);
  fillMenu(*menu, request.menu, chosen);
  // The choice is known only after the menu has closed and its action has fired.
  QObject::connect(menu, &QMenu::aboutToHide, menu, [chosen, answer] {
    QTimer::singleShot(0, [chosen, answer] {
      DialogAnswer a;
      a.item = *chosen;
      answer(a);
    });
  });
  menu->popup(QCursor::pos());
}

}  // namespace

void QtView::showDialog(const DialogRequest& request, AnswerFn answer) {
  onGui([this, request, answer = std::move(answer)] {
    Win* owner = find(request.owner);
    QWidget* parent = owner != nullptr ? owner->frame.data() : nullptr;
    switch (request.kind) {
      case DialogRequest::Kind::Message:
        return showMessageBox(parent, request, answer);
      case DialogRequest::Kind::OpenFile:
      case DialogRequest::Kind::SaveFile:
      case DialogRequest::Kind::Folder:
        return showFileDialog(parent, request, answer);
      case DialogRequest::Kind::PickColour:
        return showColourDialog(parent, request, answer);
      case DialogRequest::Kind::Print:
        return showPrintDialog(parent, request, answer);
      case DialogRequest::Kind::Popup:
        return showPopup(parent, request, answer);
    }
  });
}

// --- Rich-text documents ----------------------------------------------------------------------

// A closing window's editors let go of the program's documents before the widgets go, which
// is later (deleteLater) than the documents may.
void QtView::detachDocuments(Win& w) {
  for (auto& [number, widget] : w.controls) {
    if (auto* edit = qobject_cast<QTextEdit*>(widget)) showDocument(*edit, nullptr);
  }
}

void QtView::editDocument(WindowHandle window, int control, DocumentEdit edit,
                          std::function<void(bool)> done) {
  auto run = [this, window, control, edit = std::move(edit), done = std::move(done)] {
    Win* w = find(window);
    auto* editor = qobject_cast<QTextEdit*>(controlWidget(window, control));
    if (w == nullptr || editor == nullptr || !w->states[control].document ||
        editor->document() != w->states[control].document.get()) {
      done(false);
      return;
    }
    QTextDocument& doc = *editor->document();
    const QTextCursor shown = editor->textCursor();
    TextSelection selection{shown.anchor(), shown.position()};
    edit(doc, selection);
    const int last = std::max(0, doc.characterCount() - 1);
    const int anchor = std::clamp(selection.anchor, 0, last);
    const int caret = std::clamp(selection.caret, 0, last);
    // A selection the edit left alone stays the editor's own, with the format typing goes on in.
    const QTextCursor now = editor->textCursor();
    if (now.anchor() != anchor || now.position() != caret) {
      QTextCursor cursor(&doc);
      cursor.setPosition(anchor);
      cursor.setPosition(caret, QTextCursor::KeepAnchor);
      editor->setTextCursor(cursor);
      editor->ensureCursorVisible();
    }
    done(true);
  };
  // Called on the GUI thread (a test, or the view itself) the edit runs at once: waiting for a
  // queued call there would wait forever.
  if (QThread::currentThread() == thread()) {
    run();
  } else {
    onGui(std::move(run));
  }
}

// --- Tray, beep, end ---------------------------------------------------------------------------

bool QtView::trayAdd(const TrayIcon& icon) {
  if (!trayAvailable_.load()) return false;
  onGui([this, icon] {
    const auto key = std::make_pair(icon.window, icon.id);
    QSystemTrayIcon*& tray = trays_[key];
    if (tray == nullptr) {
      tray = new QSystemTrayIcon(this);
      const WindowHandle h = icon.window;
      const unsigned id = icon.id;
      connect(tray, &QSystemTrayIcon::activated, this,
              [h, id](QSystemTrayIcon::ActivationReason reason) {
                switch (reason) {
                  case QSystemTrayIcon::Trigger:
                    reportTray(h, id, TrayAction::Activate);
                    break;
                  case QSystemTrayIcon::DoubleClick:
                    reportTray(h, id, TrayAction::DoubleActivate);
                    break;
                  case QSystemTrayIcon::Context:
                    reportTray(h, id, TrayAction::Context);
                    break;
                  default:
                    break;
                }
              });
      // A desktop whose notification area shows the icon's own menu on the right button
      // (StatusNotifierItem hosts) reports no right click; the menu offers both actions.
      QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
      if (bus != nullptr &&
          bus->isServiceRegistered(QStringLiteral("org.kde.StatusNotifierWatcher"))) {
        auto* menu = new QMenu();
        connect(tray, &QObject::destroyed, menu, &QObject::deleteLater);
        connect(menu->addAction(QStringLiteral("Restore")), &QAction::triggered, this,
                [h, id] { reportTray(h, id, TrayAction::Activate); });
        connect(menu->addAction(QStringLiteral("Close")), &QAction::triggered, this,
                [h, id] { reportTray(h, id, TrayAction::Context); });
        tray->setContextMenu(menu);
      }
    }
    const auto named = icons_.find(icon.icon);
    tray->setIcon(named != icons_.end()
                      ? named->second
                      : QApplication::style()->standardIcon(QStyle::SP_DriveHDIcon));
    tray->setToolTip(qs(icon.tip));
    tray->show();
  });
  return true;
}

void QtView::setIcon(const std::string& name, const QIcon& icon) {
  icons_[name] = icon;
}

bool QtView::trayRemove(WindowHandle window, unsigned id) {
  onGui([this, window, id] {
    const auto it = trays_.find({window, id});
    if (it == trays_.end()) return;
    it->second->hide();
    it->second->deleteLater();
    trays_.erase(it);
  });
  return true;
}

// Qt shows the message as the desktop's notification where there is a notification service,
// and as a balloon of its own beside the icon elsewhere.
bool QtView::trayMessage(const TrayMessage& message) {
  if (!trayAvailable_.load()) return false;
  onGui([this, message] {
    const auto it = trays_.find({message.window, message.id});
    if (it == trays_.end()) return;
    QSystemTrayIcon::MessageIcon icon = QSystemTrayIcon::NoIcon;
    switch (message.icon) {
      case MessageIcon::Asterisk:
      case MessageIcon::Question:
        icon = QSystemTrayIcon::Information;
        break;
      case MessageIcon::Exclamation:
        icon = QSystemTrayIcon::Warning;
        break;
      case MessageIcon::Hand:
        icon = QSystemTrayIcon::Critical;
        break;
      case MessageIcon::None:
        break;
    }
    constexpr int kShownMilliseconds = 10000;
    it->second->showMessage(qs(message.title), qs(message.text), icon, kShownMilliseconds);
  });
  return true;
}

void QtView::beep(BeepKind) {
  onGui([] { QApplication::beep(); });
}

void QtView::programEnded() {
  ended_ = true;
  onGui([] {});  // wakes run()'s loop
}

int QtView::run(Engine& engine, std::function<void()> procedure) {
  ended_ = false;
  engine.start(std::move(procedure));
  // Leaves when every program thread has ended; the GUI keeps painting meanwhile.
  while (!ended_.load() || !engine.runningThreads().empty()) {
    if (QCoreApplication::closingDown()) break;
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  }
  if (!engine.runningThreads().empty()) {
    // The GUI is going away first: halt the program and let its threads end before joining.
    engine.halt(0, "closing");
    while (!engine.runningThreads().empty())
      QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
  }
  engine.shutdown();
  // What the program threads queued last (their windows closing) runs before run() returns.
  QCoreApplication::sendPostedEvents();
  QCoreApplication::processEvents();
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  return engine.haltCode().value_or(0);
}

}  // namespace marlo::qt
