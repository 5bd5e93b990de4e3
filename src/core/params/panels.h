// The two panels and their controls, by the numeric IDs that bind any panel definition. The
// parameter table names each parameter's control; the window loads the panels
// (app/panel_handles.h).
#pragma once

#include <array>

namespace ovx::params {

// Resource numbers in the panel file "OVEXTAR1V12.uir".
constexpr const char* kPanelFile = "OVEXTAR1V12.uir";
constexpr int PANEL = 1;
constexpr int POPUP = 2;

// Main panel.
constexpr int PANEL_DROPDCOM = 2;
constexpr int PANEL_STRIPNORM = 3;
constexpr int PANEL_STRIPRAW = 4;
constexpr int PANEL_RNGGRAPHSOURCE = 5;
constexpr int PANEL_BTNDATA = 6;
constexpr int PANEL_LEDTOL = 9;
constexpr int PANEL_LEDREF = 10;
constexpr int PANEL_RBTFILE = 17;
constexpr int PANEL_RBTEEPROM = 18;
constexpr int PANEL_RBTRAM = 19;
constexpr int PANEL_POLARITY = 20;
constexpr int PANEL_BTNRUN = 23;
constexpr int PANEL_HOLD = 26;
constexpr int PANEL_MAXMODE = 27;
constexpr int PANEL_AVERAGE = 28;
constexpr int PANEL_HWMODE = 29;
constexpr int PANEL_DROP_EVALMODE = 30;
constexpr int PANEL_VALNORM = 35;
constexpr int PANEL_ADCCHB = 36;
constexpr int PANEL_ADCCHA = 37;
constexpr int PANEL_LOVAL = 38;
constexpr int PANEL_UPVAL = 39;
constexpr int PANEL_AMAX = 40;
constexpr int PANEL_TOLERANCE = 46;
constexpr int PANEL_REFERENCE = 47;
constexpr int PANEL_HYSTERESIS = 48;
constexpr int PANEL_STATUS = 50;
constexpr int PANEL_TRIGLVL = 51;
constexpr int PANEL_POWER = 52;
constexpr int PANEL_GRAPHDATA = 53;
constexpr int PANEL_TOGBTNPARAII = 54;
constexpr int PANEL_TRIGMODETEXT = 55;
// The five command buttons reached only through their callbacks.
constexpr int PANEL_BTNSEND = 56;
constexpr int PANEL_BTNGET = 57;
constexpr int PANEL_BTNSTOP = 58;
constexpr int PANEL_BUTTONTEACH = 59;
constexpr int PANEL_BUTTONRESET = 60;

// Controls around the original panel: not required of a panel definition.
constexpr int PANEL_MONITOR = 61;         // protocol monitor pane
constexpr int PANEL_TOGBTNMONITOR = 62;   // shows and hides it
constexpr int PANEL_TOGBTNRECORD = 63;    // recording of live frames
constexpr int PANEL_RECORDINFO = 64;      // recording file and frame count
constexpr int PANEL_TOGBTNPAUSE = 65;     // freezes the strip chart on screen
constexpr int PANEL_BTNEXPORT = 66;       // chart or curve as PNG
constexpr int PANEL_BTNSAVECURVE = 67;    // data curve as CSV
constexpr int PANEL_FLASHPROGRESS = 68;   // pages x blocks of a flash programming
constexpr int PANEL_BTNREFRESHPORTS = 69; // lists the serial ports again
constexpr int PANEL_CHKEXPORT2X = 70;     // export at twice the screen resolution
constexpr int PANEL_PORTHINT = 71;        // why the port could not be opened, and the fix

// Settings popup.
constexpr int POPUP_ANAMODE = 2;
constexpr int POPUP_DROP_DIFFBUFF = 3;
constexpr int POPUP_SDELAY = 4;
constexpr int POPUP_DROPTRIGMODE = 5;

// Every control a panel definition must hold; LoadPanel fails without one of them.
inline constexpr std::array kPanelControls{
    PANEL_DROPDCOM,     PANEL_STRIPNORM,     PANEL_STRIPRAW, PANEL_RNGGRAPHSOURCE, PANEL_BTNDATA,
    PANEL_LEDTOL,       PANEL_LEDREF,        PANEL_RBTFILE,  PANEL_RBTEEPROM,      PANEL_RBTRAM,
    PANEL_POLARITY,     PANEL_BTNRUN,        PANEL_HOLD,     PANEL_MAXMODE,        PANEL_AVERAGE,
    PANEL_HWMODE,       PANEL_DROP_EVALMODE, PANEL_VALNORM,  PANEL_ADCCHB,         PANEL_ADCCHA,
    PANEL_LOVAL,        PANEL_UPVAL,         PANEL_AMAX,     PANEL_TOLERANCE,      PANEL_REFERENCE,
    PANEL_HYSTERESIS,   PANEL_STATUS,        PANEL_TRIGLVL,  PANEL_POWER,          PANEL_GRAPHDATA,
    PANEL_TOGBTNPARAII, PANEL_TRIGMODETEXT,  PANEL_BTNSEND,  PANEL_BTNGET,         PANEL_BTNSTOP,
    PANEL_BUTTONTEACH,  PANEL_BUTTONRESET,
};
inline constexpr std::array kPopupControls{POPUP_ANAMODE, POPUP_DROP_DIFFBUFF, POPUP_SDELAY,
                                           POPUP_DROPTRIGMODE};

} // namespace ovx::params
