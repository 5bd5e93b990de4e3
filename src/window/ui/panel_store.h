// Inside the engine: the loaded panels, their controls by ID, and the callbacks by name.
// Controls are looked up by (panel handle, control ID) on every call; nothing outside the
// engine holds a widget pointer.
#pragma once

#include <QPointer>
#include <QWidget>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "ui/panel.h"

namespace ovx::ui::detail {

enum class Kind {
    kNumeric, // QSpinBox
    kRing,    // QComboBox
    kCheck,   // QRadioButton, QCheckBox
    kCommand, // QPushButton
    kToggle,  // checkable QPushButton
    kText,    // QLineEdit
    kLabel,   // QLabel
    kTextBox, // QPlainTextEdit
    kStripChart,
    kGraph,
    kLed,
    kPane,     // ProtocolMonitor: shown, hidden, dimmed
    kProgress, // QProgressBar: int value, text attribute kAttrProgressText
};

struct Control {
    QWidget* widget = nullptr; // owned by the panel window
    Kind kind = Kind::kLabel;
    std::string callback; // name resolved at dispatch time
    TextWatcher watcher{};
    bool floating = false; // created by NewCtrl, outside every layout
};

struct Panel {
    int resourceId = 0;
    QPointer<QWidget> window;
    std::string callback;
    std::map<int, Control> controls;
};

// Handle of a new panel (> 0).
int AddPanel(std::unique_ptr<Panel> panel);
Panel* FindPanel(int handle);
std::unique_ptr<Panel> TakePanel(int handle);
// 0 and control, or kUiNotInitialised / kUiInvalidPanel / kUiInvalidControl.
int FindControl(int panel, int control, Control*& out);

void SetCallback(const std::string& name, CtrlCallback callback);
void SetPanelCallback(const std::string& name, PanelCallback callback);
void SetRequiredControls(int resourceId, std::vector<int> controls);
const std::vector<int>& RequiredControls(int resourceId);

// Calls the callback attached to a control or panel, if its name is registered.
void DispatchControl(int panel, int control, int event);
void DispatchPanel(int panel, int event);
// True while a callback runs (a panel discarded then is deleted later, not under it).
bool InDispatch();

} // namespace ovx::ui::detail
