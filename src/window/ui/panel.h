// Panel services. Panels are loaded from a Qt Designer XML panel file: its top-level widget holds
// one child per panel, each with an int property "resourceId" (1, 2, ...). Every control carries
// an int property "ctrlId" (its numeric ID) and, where it has one, a string property "callback"
// naming the function registered with RegisterCallback. The panel itself may carry "callback"
// naming a function registered with RegisterPanelCallback. Controls are addressed by
// (panel handle, control ID) only.
//
// Control kinds, by Qt class in the panel file:
//   QSpinBox                  value control / numeric indicator (int; readOnly = indicator)
//   QComboBox                 ring: value of an item = its item data (int), else its index;
//                             the file gives the data as string property "itemValues" ("0,1")
//   QRadioButton, QCheckBox   int 0/1 (never exclusive on their own)
//   QPushButton               command button; checkable = toggle button (int 0/1)
//   QLineEdit, QLabel         string (text control / text message)
//   QPlainTextEdit            text box (lines)
//   StripChart, Graph, Led    plot.h
//   QProgressBar              progress bar: int value (0..its maximum), text kAttrProgressText
//   ProtocolMonitor           pane: the protocol monitor (protocol_monitor.h), attributes 500/530
//
// Events, as an operator produces them:
//   command button, mouse:    kEventLeftClick (on press), then kEventCommit (on release)
//   command button, keyboard: kEventCommit only
//   ring, radio, toggle, check box, value control changed by the operator:
//                             kEventValueChanged, then kEventCommit
//   panel closed by its window's close control: kEventClose to the panel callback (the window
//   stays open; the callback decides)
// SetCtrlVal never produces events. A value written while no events are processed (inside a
// blocking sequence) still reaches the screen: pending repaints are flushed before every
// blocking service (Delay, ComRd, GetInQLen's wait) and at most every ~20 ms otherwise.
// Every control gets its visible label as accessible name.
#pragma once

#include <functional>
#include <string>

namespace ovx::ui {

enum Event : int {
    kEventCommit = 1,
    kEventValueChanged = 2,
    kEventLeftClick = 3,
    kEventClose = 11,
};

enum Attribute : int {
    kAttrDimmed = 500,           // 1 dimmed (disabled), 0 enabled
    kAttrVisible = 530,          // 1 shown, 0 hidden
    kAttrTextColor = 680,        // 0xRRGGBB
    kAttrTextFont = 682,         // kAppFont
    kAttrTextPointSize = 686,    // points
    kAttrTextBgColor = 690,      // 0xRRGGBB
    kAttrScrollMode = 1088,      // strip chart: 1 continuous
    kAttrNumTraces = 1170,       // strip chart: traces
    kAttrPointsPerScreen = 1171, // strip chart: points in the view
    kAttrYName = 1093,           // graph / strip chart: y-axis name (string)
    kAttrTraceColor = 1230,      // SetTraceAttribute: 0xRRGGBB
    kAttrChartPaused = 5001,     // strip chart: 1 still picture with cursor, 0 the present
    kAttrProgressText = 5002,    // progress bar: its text (string; %v value, %m maximum)
    kAttrToolTip = 5003,         // any control: its tooltip (string)
};

constexpr int kAppFont = 1;       // the application's standard font
constexpr int kCtrlTextMsg = 160; // NewCtrl style: text message

using CtrlCallback = int (*)(int panel, int control, int event, void* callbackData, int eventData1,
                             int eventData2);
using PanelCallback = int (*)(int panel, int event, void* callbackData, int eventData1,
                              int eventData2);

// Callbacks are attached by name when a panel is loaded: register them before LoadPanel.
void RegisterCallback(const std::string& name, CtrlCallback callback);
void RegisterPanelCallback(const std::string& name, PanelCallback callback);

// Creates the application (QApplication) once. Returns 0, or kUiNotInitialised on failure.
int InitEngine(int argc, char** argv);
// InitEngine without a display: panels live offscreen, whatever QT_QPA_PLATFORM said.
int InitEngineHeadless(int argc, char** argv);
// Loads panel resourceId from file (a relative name is looked for beside the program, then in
// its installed data folder bin/../share/ovextar, then in the working directory, then in the
// program's own resources). parent 0 = top-level window. Returns a handle > 0, or a UiError:
// kUiPanelFileMissing, kUiPanelFileDamaged (also when the file misses a control that a
// RequireControls table names), kUiNoSuchResource.
int LoadPanel(int parent, const char* file, int resourceId);
// Controls that LoadPanel must find for a resource; the load fails without them.
void RequireControls(int resourceId, const int* controlIds, int count);
int DisplayPanel(int panel);
int HidePanel(int panel);
int DiscardPanel(int panel);

// Runs the event loop until QuitUserInterface; returns the code given to it.
int RunUserInterface();
int QuitUserInterface(int code);
// Dispatches pending events (clicks, serial notifications); when none is pending it waits
// briefly in the OS (about two milliseconds at most) instead of spinning, then returns.
void ProcessSystemEvents();
// The same, but when nothing is pending it waits for the next event until `until` (Timer()
// seconds) at most: the core's waits (platform::WaitForEvents) run this, so a loop that waits
// for a frame or its time-out sleeps until one of them comes.
void ProcessSystemEventsUntil(double until);

int GetCtrlVal(int panel, int control, int* value);
int GetCtrlVal(int panel, int control, unsigned short* value); // low 16 bits
int GetCtrlVal(int panel, int control, double* value);
int GetCtrlVal(int panel, int control, char* text, int capacity); // text controls
int SetCtrlVal(int panel, int control, int value);
int SetCtrlVal(int panel, int control, double value);
int SetCtrlVal(int panel, int control, const char* text);
int SetCtrlAttribute(int panel, int control, int attribute, int value);
int SetCtrlAttribute(int panel, int control, int attribute, const char* text);
int GetCtrlAttribute(int panel, int control, int attribute, int* value);
int ReplaceTextBoxLine(int panel, int control, int line, const char* text);
int GetTextBoxLine(int panel, int control, int line, char* text, int capacity);
// Creates a control of the given style (kCtrlTextMsg) at top/left in panel pixels; its ID.
int NewCtrl(int panel, int style, const char* label, int top, int left);

// Hooks for the program's --trace and for tests. A text written to control of panel calls fn.
using TextWatcher = std::function<void(const char* text)>;
void WatchCtrlText(int panel, int control, TextWatcher fn);

// For tests and automation: the QWidget* of a control (nullptr if none), as void* so that this
// header stays free of Qt.
void* CtrlWidget(int panel, int control);
void* PanelWidget(int panel);

} // namespace ovx::ui
