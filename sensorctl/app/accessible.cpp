#include "sensorctl/app/accessible.h"

#include <new>
#include <string>

#include "sensorctl/app/controls.h"
#include "sensorctl/app/display_scale.h"
#include "sensorctl/app/list_geometry.h"
#include "sensorctl/app/main_window.h"
#include "sensorctl/app/process_state.h"
#include "sensorctl/app/service_wait.h"
#include "sensorctl/app/widget_layout.h"
#include "sensorctl/app/window_dpi.h"
#include "sensorctl/render/renderer.h"
#include "sensorctl/resources/strings/string_ids.h"

namespace {

constexpr int kMainWindowObject = -1;

// IAccessible's IID is always written __uuidof(IAccessible), never IID_IAccessible: the x86-64
// oleacc import library of MinGW-w64 exports that name as a function thunk, which the linker
// picks before libuuid's GUID, so a 64-bit build would hand out code bytes as the IID and no
// object would ever be marshalled to another process.

bool IsListWidget(int position) {
  return position >= kWidgetRangeList && position <= kWidgetOnDelayList;
}

// The choice (0 to 2) of a drop-down button or list widget.
int ChoiceOf(int position) {
  return IsListWidget(position) ? position - kWidgetRangeList : position - kWidgetRangeButton;
}

// Texts are spoken as drawn, without the two spaces the choice formats begin with.
std::wstring Trimmed(const wchar_t* text) {
  std::wstring value(text);
  const size_t first = value.find_first_not_of(L" \t");
  if (first == std::wstring::npos) return L"";
  return value.substr(first, value.find_last_not_of(L" \t") - first + 1);
}

std::wstring LoadedString(int id) {
  wchar_t text[kTextBufferSize] = {};
  LoadStringW(instance, static_cast<UINT>(id), text, kTextBufferSize);
  return text;
}

// The system menu's item for `command` ("&Close\tAlt+F4") as a name: without the mnemonic's
// ampersand and the accelerator. The main window has no WS_SYSMENU (it shows no menu of its
// own), and some systems then give it none to read: a hidden window that has one lends its
// menu, whose items are the same words.
std::wstring MenuItemName(HMENU menu, int command) {
  wchar_t item[256] = {};
  if (menu == nullptr ||
      GetMenuStringW(menu, static_cast<UINT>(command), item, 256, MF_BYCOMMAND) <= 0) {
    return L"";
  }
  std::wstring name;
  for (const wchar_t* c = item; *c != L'\0' && *c != L'\t'; ++c) {
    if (*c == L'&' && c[1] != L'&') continue;
    name += *c;
    if (*c == L'&') ++c;  // "&&" is one ampersand
  }
  return name;
}

std::wstring SystemCommandName(int command) {
  std::wstring name = MenuItemName(GetSystemMenu(mainWindow, FALSE), command);
  if (!name.empty()) return name;
  // The words do not change while the program runs: the lender is asked once per command.
  static std::wstring lentClose, lentMinimize;
  std::wstring& lent = command == SC_CLOSE ? lentClose : lentMinimize;
  if (!lent.empty()) return lent;
  HWND lender = CreateWindowExW(0, L"STATIC", L"", WS_POPUP | WS_SYSMENU | WS_MINIMIZEBOX, 0, 0,
                                0, 0, nullptr, nullptr, instance, nullptr);
  if (lender == nullptr) return L"";
  lent = MenuItemName(GetSystemMenu(lender, FALSE), command);
  DestroyWindow(lender);
  return lent;
}

BSTR MakeBstr(const std::wstring& text) {
  return text.empty() ? nullptr : SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
}

HRESULT ReturnText(const std::wstring& text, BSTR* out) {
  if (out == nullptr) return E_POINTER;
  *out = MakeBstr(text);
  if (text.empty()) return S_FALSE;
  return *out != nullptr ? S_OK : E_OUTOFMEMORY;
}

bool IsChild(const VARIANT& child, LONG* id) {
  if (child.vt != VT_I4) return false;
  *id = child.lVal;
  return true;
}

// Frame units of the main window's client area to screen pixels, at the window's DPI.
RECT ScreenRectOf(const FrameBox& box) {
  const auto pixels = [](float units) {
    return static_cast<LONG>(PixelsFromUnits(static_cast<int>(units), renderer.dpi));
  };
  RECT rect = {pixels(box.left), pixels(box.top), pixels(box.right), pixels(box.bottom)};
  MapWindowPoints(mainWindow, nullptr, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

FrameBox BoxOf(const Widget& widget) {
  return {widget.left, widget.top, widget.right, widget.bottom};
}

int RowCountOf(int position) { return ListRowCount(ChoiceOf(position)); }

std::wstring ControlName(int control) {
  const AccessibleControl& row = kAccessibleControls[control];
  switch (row.name) {
    case AccessibleName::kCaption: {
      const Widget* widget = WidgetAt(renderer.widgets, row.widget);
      return widget != nullptr ? Trimmed(widget->text[0]) : L"";
    }
    case AccessibleName::kString:
      return LoadedString(row.nameSource);
    case AccessibleName::kSystemCommand:
      return SystemCommandName(row.nameSource);
  }
  return L"";
}

// What the drawing shows of the control: shown or not, usable or greyed, the drop-down's list
// open or closed, the check box ticked or not.
LONG ControlState(int control) {
  const AccessibleControl& row = kAccessibleControls[control];
  const Widget* widget = WidgetAt(renderer.widgets, row.widget);
  HWND window = AccessibleControlWindow(control);
  if (widget == nullptr || window == nullptr) return STATE_SYSTEM_INVISIBLE;
  LONG state = 0;
  const bool windowShown = IsWindowVisible(window) != FALSE;
  if (row.role == ROLE_SYSTEM_LIST) {
    return widget->visible ? 0 : STATE_SYSTEM_INVISIBLE;
  }
  // What the frame draws: the widget, or for the title bar's hot spots the background's glyphs.
  // The drop-downs of a disabled sensor are drawn greyed while their windows are hidden, and the
  // delay-until-on button is never drawn, whatever its window does.
  const bool titleBarArea = row.widget == kWidgetCloseArea || row.widget == kWidgetMinimizeArea;
  if (!widget->visible && !(titleBarArea && windowShown)) state |= STATE_SYSTEM_INVISIBLE;
  if (!widget->enabled) {
    state |= STATE_SYSTEM_UNAVAILABLE;
  } else if (windowShown) {
    state |= STATE_SYSTEM_FOCUSABLE;
  }
  if (GetFocus() == window) state |= STATE_SYSTEM_FOCUSED;
  if (row.role == ROLE_SYSTEM_COMBOBOX) {
    const Widget* list = WidgetAt(renderer.widgets, kWidgetRangeList + ChoiceOf(row.widget));
    state |= STATE_SYSTEM_HASPOPUP |
             (list != nullptr && list->visible ? STATE_SYSTEM_EXPANDED : STATE_SYSTEM_COLLAPSED);
  }
  if (row.role == ROLE_SYSTEM_CHECKBUTTON && widget->checked) state |= STATE_SYSTEM_CHECKED;
  return state;
}

LONG ListRowState(int position, int row) {
  const Widget* list = WidgetAt(renderer.widgets, position);
  LONG state = STATE_SYSTEM_SELECTABLE | STATE_SYSTEM_FOCUSABLE;
  if (list == nullptr || !list->visible) state |= STATE_SYSTEM_INVISIBLE;
  const int choice = ChoiceOf(position);
  if (row == CurrentListRow(choice)) state |= STATE_SYSTEM_SELECTED;
  if (row == HighlightedListRow(choice)) state |= STATE_SYSTEM_FOCUSED;
  return state;
}

// One client object: the main window's (control kMainWindowObject) or a control's. It answers
// from the drawing where the drawing knows better than the window, and hands the rest to the
// system's object of the same window.
class AccessibleObject final : public IAccessible {
 public:
  AccessibleObject(HWND window, int control, IAccessible* standard)
      : window_(window), control_(control), standard_(standard) {
    standard_->AddRef();
  }

  // IUnknown
  STDMETHODIMP QueryInterface(REFIID iid, void** object) override {
    if (object == nullptr) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IDispatch || iid == __uuidof(IAccessible)) {
      *object = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  STDMETHODIMP_(ULONG) Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  // IDispatch: no type information; clients call the methods directly.
  STDMETHODIMP GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override {
    return E_NOTIMPL;
  }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*,
                      UINT*) override {
    return E_NOTIMPL;
  }

  // IAccessible
  STDMETHODIMP get_accParent(IDispatch** parent) override {
    return standard_->get_accParent(parent);
  }

  STDMETHODIMP get_accChildCount(LONG* count) override {
    if (count == nullptr) return E_POINTER;
    *count = ChildCount();
    return S_OK;
  }

  STDMETHODIMP get_accChild(VARIANT child, IDispatch** dispatch) override {
    if (dispatch == nullptr) return E_POINTER;
    *dispatch = nullptr;
    LONG id = 0;
    if (!IsChild(child, &id) || !ValidChild(id)) return E_INVALIDARG;
    if (!IsMain() || id == WaitingLineChild()) return S_FALSE;  // simple elements
    int order[kAccessibleControlCount];
    AccessibleReadingOrder(rightToLeft != 0, order);
    HWND childWindow = AccessibleControlWindow(order[id - 1]);
    if (childWindow == nullptr) return E_INVALIDARG;
    return AccessibleObjectFromWindow(childWindow, static_cast<DWORD>(OBJID_CLIENT),
                                      IID_IDispatch, reinterpret_cast<void**>(dispatch));
  }

  STDMETHODIMP get_accName(VARIANT child, BSTR* name) override {
    LONG id = 0;
    if (!IsChild(child, &id) || !ValidChild(id)) return E_INVALIDARG;
    if (IsMain()) {
      if (id == CHILDID_SELF) return ReturnText(windowTitle, name);
      if (id == WaitingLineChild()) return ReturnText(LoadedString(kStringWaitingForService), name);
      return ReturnText(ControlName(ControlAt(id)), name);
    }
    if (id != CHILDID_SELF) {
      const Widget* list = WidgetAt(renderer.widgets, Position());
      return ReturnText(list != nullptr ? Trimmed(list->text[id - 1]) : L"", name);
    }
    return ReturnText(ControlName(control_), name);
  }

  STDMETHODIMP get_accValue(VARIANT child, BSTR* value) override {
    LONG id = 0;
    if (!IsChild(child, &id) || !ValidChild(id)) return E_INVALIDARG;
    if (IsMain() || id != CHILDID_SELF || !kAccessibleControls[control_].choiceValue) {
      return ReturnText(L"", value);
    }
    const Widget* button = WidgetAt(renderer.widgets, Position());
    return ReturnText(button != nullptr ? Trimmed(button->text[0]) : L"", value);
  }

  STDMETHODIMP get_accDescription(VARIANT child, BSTR* description) override {
    LONG id = 0;
    if (!IsChild(child, &id) || !ValidChild(id)) return E_INVALIDARG;
    const bool window = IsMain() && id == CHILDID_SELF;
    return ReturnText(window ? LoadedString(kStringDescription) : L"", description);
  }

  STDMETHODIMP get_accRole(VARIANT child, VARIANT* role) override {
    if (role == nullptr) return E_POINTER;
    LONG id = 0;
    if (!IsChild(child, &id) || !ValidChild(id)) return E_INVALIDARG;
    if (IsMain() && id == CHILDID_SELF) return standard_->get_accRole(child, role);
    role->vt = VT_I4;
    if (IsMain()) {
      role->lVal = id == WaitingLineChild() ? ROLE_SYSTEM_STATICTEXT
                                            : kAccessibleControls[ControlAt(id)].role;
    } else {
      role->lVal = id == CHILDID_SELF ? kAccessibleControls[control_].role : ROLE_SYSTEM_LISTITEM;
    }
    return S_OK;
  }

  STDMETHODIMP get_accState(VARIANT child, VARIANT* state) override {
    if (state == nullptr) return E_POINTER;
    LONG id = 0;
    if (!IsChild(child, &id) || !ValidChild(id)) return E_INVALIDARG;
    if (IsMain() && id == CHILDID_SELF) {
      const HRESULT hr = standard_->get_accState(child, state);
      // While the service takes up new settings the window takes no input.
      if (SUCCEEDED(hr) && state->vt == VT_I4 && waitingForService) {
        state->lVal |= STATE_SYSTEM_BUSY;
      }
      return hr;
    }
    state->vt = VT_I4;
    if (IsMain()) {
      state->lVal = id == WaitingLineChild()
                        ? (renderer.waitingLineShown ? STATE_SYSTEM_READONLY
                                                     : STATE_SYSTEM_INVISIBLE)
                        : ControlState(ControlAt(id));
    } else {
      state->lVal = id == CHILDID_SELF ? ControlState(control_) : ListRowState(Position(), id - 1);
    }
    return S_OK;
  }

  STDMETHODIMP get_accHelp(VARIANT, BSTR* help) override { return ReturnText(L"", help); }
  STDMETHODIMP get_accHelpTopic(BSTR* file, VARIANT, LONG* topic) override {
    if (file != nullptr) *file = nullptr;
    if (topic != nullptr) *topic = 0;
    return S_FALSE;
  }
  STDMETHODIMP get_accKeyboardShortcut(VARIANT, BSTR* shortcut) override {
    return ReturnText(L"", shortcut);
  }

  STDMETHODIMP get_accFocus(VARIANT* focus) override {
    if (focus == nullptr) return E_POINTER;
    VariantInit(focus);
    if (IsList()) {
      const int row = HighlightedListRow(ChoiceOf(Position()));
      if (row == kNoListRow) return S_FALSE;
      focus->vt = VT_I4;
      focus->lVal = ListRowChild(row);
      return S_OK;
    }
    HWND focused = GetFocus();
    if (focused == window_) {
      focus->vt = VT_I4;
      focus->lVal = CHILDID_SELF;
      return S_OK;
    }
    if (!IsMain() || AccessibleControlOfWindow(focused) < 0) return S_FALSE;
    focus->vt = VT_DISPATCH;
    return AccessibleObjectFromWindow(focused, static_cast<DWORD>(OBJID_CLIENT), IID_IDispatch,
                                      reinterpret_cast<void**>(&focus->pdispVal));
  }

  STDMETHODIMP get_accSelection(VARIANT* selection) override {
    if (selection == nullptr) return E_POINTER;
    VariantInit(selection);
    if (!IsList()) return S_FALSE;
    const int row = CurrentListRow(ChoiceOf(Position()));
    if (row < 0 || row >= RowCountOf(Position())) return S_FALSE;
    selection->vt = VT_I4;
    selection->lVal = ListRowChild(row);
    return S_OK;
  }

  STDMETHODIMP get_accDefaultAction(VARIANT child, BSTR* action) override {
    return standard_->get_accDefaultAction(child, action);
  }

  STDMETHODIMP accSelect(LONG flags, VARIANT child) override {
    return standard_->accSelect(flags, child);
  }

  STDMETHODIMP accLocation(LONG* left, LONG* top, LONG* width, LONG* height,
                           VARIANT child) override {
    if (left == nullptr || top == nullptr || width == nullptr || height == nullptr) {
      return E_POINTER;
    }
    LONG id = 0;
    if (!IsChild(child, &id) || !ValidChild(id)) return E_INVALIDARG;
    RECT rect = {};
    if (IsMain() && id == CHILDID_SELF) {
      GetWindowRect(window_, &rect);
    } else if (IsMain() && id == WaitingLineChild()) {
      rect = ScreenRectOf(FrameTextBox(FrameText::kWaitingLine, LayoutMetrics(), rightToLeft != 0));
    } else if (IsMain()) {
      return E_INVALIDARG;  // a control: its own object answers
    } else if (IsList() || kAccessibleControls[control_].role == ROLE_SYSTEM_COMBOBOX ||
               Position() == kWidgetDisableCheckBox) {
      // Where they are drawn: the lists' windows, never shown, stand elsewhere, and the check
      // box's picture is larger than its window.
      const Widget* widget = WidgetAt(renderer.widgets, Position());
      if (widget == nullptr) return E_FAIL;
      FrameBox box = BoxOf(*widget);
      if (id != CHILDID_SELF) box = ListRowBox(box, id - 1);
      rect = ScreenRectOf(box);
    } else {
      GetWindowRect(window_, &rect);
    }
    *left = rect.left;
    *top = rect.top;
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return S_OK;
  }

  STDMETHODIMP accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    return standard_->accNavigate(direction, start, end);
  }

  STDMETHODIMP accHitTest(LONG x, LONG y, VARIANT* hit) override {
    if (hit == nullptr) return E_POINTER;
    if (!IsList()) return standard_->accHitTest(x, y, hit);
    VariantInit(hit);
    POINT point = {x, y};
    ScreenToClient(mainWindow, &point);
    point = {ClientUnits(point.x), ClientUnits(point.y)};
    const Widget* list = WidgetAt(renderer.widgets, Position());
    if (list == nullptr || !list->visible || !ListContains(BoxOf(*list), point.x, point.y)) {
      return S_FALSE;
    }
    const int row = HitListRow(BoxOf(*list), RowCountOf(Position()), point.x, point.y);
    hit->vt = VT_I4;
    hit->lVal = row == kNoListRow ? CHILDID_SELF : ListRowChild(row);
    return S_OK;
  }

  // Posted, not done here: the call comes from another process, and a command may write the
  // settings and wait for the service, or close the window.
  STDMETHODIMP accDoDefaultAction(VARIANT child) override {
    LONG id = 0;
    if (!IsChild(child, &id) || !ValidChild(id)) return E_INVALIDARG;
    if (IsMain()) return id == CHILDID_SELF ? DISP_E_MEMBERNOTFOUND : E_INVALIDARG;
    if (IsList()) {
      const int choice = ChoiceOf(Position());
      if (id == CHILDID_SELF || OpenListChoice() != choice) return DISP_E_MEMBERNOTFOUND;
      return PostMessageW(mainWindow, kPickRowMessage, static_cast<WPARAM>(choice), id - 1)
                 ? S_OK
                 : E_FAIL;
    }
    if (!IsWindowVisible(window_)) return DISP_E_MEMBERNOTFOUND;
    return PostMessageW(window_, BM_CLICK, 0, 0) ? S_OK : E_FAIL;
  }

  STDMETHODIMP put_accName(VARIANT, BSTR) override { return E_NOTIMPL; }
  STDMETHODIMP put_accValue(VARIANT, BSTR) override { return E_NOTIMPL; }

 private:
  ~AccessibleObject() { standard_->Release(); }

  bool IsMain() const { return control_ == kMainWindowObject; }
  bool IsList() const { return !IsMain() && IsListWidget(Position()); }
  int Position() const { return kAccessibleControls[control_].widget; }
  static int ControlAt(LONG child) {
    int order[kAccessibleControlCount];
    AccessibleReadingOrder(rightToLeft != 0, order);
    return order[child - 1];
  }
  // The window: the controls and the waiting line; a list: its rows; a control: none.
  LONG ChildCount() const {
    if (IsMain()) return WaitingLineChild();
    return IsList() ? RowCountOf(Position()) : 0;
  }
  bool ValidChild(LONG id) const { return id >= CHILDID_SELF && id <= ChildCount(); }

  LONG refs_ = 1;
  HWND window_;
  int control_;
  IAccessible* standard_;
};

}  // namespace

LONG WaitingLineChild() { return kAccessibleControlCount + 1; }

HWND AccessibleControlWindow(int control) {
  if (control < 0 || control >= kAccessibleControlCount) return nullptr;
  const int position = kAccessibleControls[control].widget;
  if (position == kWidgetDisableCheckBox) return controls.checkBox;
  if (IsListWidget(position)) return controls.lists[ChoiceOf(position)];
  if (position >= kWidgetOk && position <= kWidgetOnDelayButton) {
    return controls.buttons[position].window;
  }
  return nullptr;
}

int AccessibleControlOfWindow(HWND window) {
  if (window == nullptr) return -1;
  for (int control = 0; control < kAccessibleControlCount; ++control) {
    if (AccessibleControlWindow(control) == window) return control;
  }
  return -1;
}

LRESULT AnswerGetObject(HWND window, WPARAM wParam, LPARAM lParam) {
  if (static_cast<DWORD>(lParam) != static_cast<DWORD>(OBJID_CLIENT)) return 0;
  const int control = window == mainWindow ? kMainWindowObject : AccessibleControlOfWindow(window);
  if (window != mainWindow && control < 0) return 0;
  IAccessible* standard = nullptr;
  if (FAILED(CreateStdAccessibleObject(window, OBJID_CLIENT, __uuidof(IAccessible),
                                       reinterpret_cast<void**>(&standard)))) {
    return 0;
  }
  AccessibleObject* object = new (std::nothrow) AccessibleObject(window, control, standard);
  standard->Release();
  if (object == nullptr) return 0;
  const LRESULT result = LresultFromObject(__uuidof(IAccessible), wParam, object);
  object->Release();
  return result;
}

void NotifyAccessible(DWORD event, HWND window, LONG child) {
  if (window != nullptr) NotifyWinEvent(event, window, OBJID_CLIENT, child);
}

void NotifyWidget(DWORD event, int position, LONG child) {
  for (int control = 0; control < kAccessibleControlCount; ++control) {
    if (kAccessibleControls[control].widget == position) {
      NotifyAccessible(event, AccessibleControlWindow(control), child);
      return;
    }
  }
}
