#include "ui/panel_store.h"

#include <QApplication>

#include <unordered_map>

#include "platform/errors.h"

namespace ovx::ui::detail {

namespace {

std::map<int, std::unique_ptr<Panel>> panels;
int nextHandle = 1;
std::unordered_map<std::string, CtrlCallback> ctrlCallbacks;
std::unordered_map<std::string, PanelCallback> panelCallbacks;
std::map<int, std::vector<int>> requiredControls;
int dispatchDepth = 0;

class DepthGuard {
  public:
    DepthGuard() { ++dispatchDepth; }
    ~DepthGuard() { --dispatchDepth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;
};

} // namespace

int AddPanel(std::unique_ptr<Panel> panel) {
    const int handle = nextHandle++;
    panels[handle] = std::move(panel);
    return handle;
}

Panel* FindPanel(int handle) {
    const auto it = panels.find(handle);
    return it == panels.end() ? nullptr : it->second.get();
}

std::unique_ptr<Panel> TakePanel(int handle) {
    const auto it = panels.find(handle);
    if (it == panels.end()) {
        return nullptr;
    }
    auto panel = std::move(it->second);
    panels.erase(it);
    return panel;
}

int FindControl(int panel, int control, Control*& out) {
    if (QApplication::instance() == nullptr) {
        return platform::kUiNotInitialised;
    }
    Panel* p = FindPanel(panel);
    if (p == nullptr || p->window.isNull()) {
        return platform::kUiInvalidPanel;
    }
    const auto it = p->controls.find(control);
    if (it == p->controls.end()) {
        return platform::kUiInvalidControl;
    }
    out = &it->second;
    return 0;
}

void SetCallback(const std::string& name, CtrlCallback callback) {
    ctrlCallbacks[name] = callback;
}

void SetPanelCallback(const std::string& name, PanelCallback callback) {
    panelCallbacks[name] = callback;
}

void SetRequiredControls(int resourceId, std::vector<int> controls) {
    requiredControls[resourceId] = std::move(controls);
}

const std::vector<int>& RequiredControls(int resourceId) {
    static const std::vector<int> none;
    const auto it = requiredControls.find(resourceId);
    return it == requiredControls.end() ? none : it->second;
}

void DispatchControl(int panel, int control, int event) {
    Control* c = nullptr;
    if (FindControl(panel, control, c) != 0 || c->callback.empty()) {
        return;
    }
    const auto it = ctrlCallbacks.find(c->callback);
    if (it == ctrlCallbacks.end() || it->second == nullptr) {
        return;
    }
    const DepthGuard guard;
    it->second(panel, control, event, nullptr, 0, 0);
}

void DispatchPanel(int panel, int event) {
    const Panel* p = FindPanel(panel);
    if (p == nullptr || p->callback.empty()) {
        return;
    }
    const auto it = panelCallbacks.find(p->callback);
    if (it == panelCallbacks.end() || it->second == nullptr) {
        return;
    }
    const DepthGuard guard;
    it->second(panel, event, nullptr, 0, 0);
}

bool InDispatch() {
    return dispatchDepth > 0;
}

} // namespace ovx::ui::detail
