// What the program remembers between runs (QSettings, organisation and application "ovextar"):
// plain text values by key, and the geometry of a panel's window.
#pragma once

#include <string>

namespace ovx::ui {

std::string GetSetting(const char* key, const char* fallback = "");
void SetSetting(const char* key, const std::string& value);
// Written to the settings store now (else at the program's end).
void SyncSettings();

// Size and position of the panel's window; restoring ignores a missing or damaged value and
// keeps the window on a screen. 0, or kUiInvalidPanel.
int SavePanelGeometry(int panel, const char* key);
int RestorePanelGeometry(int panel, const char* key);

} // namespace ovx::ui
