#include "ui/held_values.h"

#include <QPointer>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>
#include <vector>

namespace ovx::ui::detail {

namespace {

// The box is kept as a plain pointer beside a guard of its QObject: the guard tells whether it
// still lives without casting an object that is being destroyed back to a spin box.
struct Holder {
    QSpinBox* box = nullptr;
    QPointer<QObject> alive;
    QPointer<QWidget> edit; // the box's line edit
    std::optional<int> held;
};

// Few boxes (the indicators of the loaded panels): a flat list.
std::vector<Holder>& Holders() {
    static std::vector<Holder> holders;
    return holders;
}

Holder* Find(const QObject* box) {
    for (Holder& h : Holders()) {
        if (!h.alive.isNull() && h.alive.data() == box) {
            return &h;
        }
    }
    return nullptr;
}

void Write(Holder& h) {
    if (!h.held || h.alive.isNull()) {
        return;
    }
    const int value = *h.held;
    h.held.reset();
    const QSignalBlocker block(h.box);
    h.box->setValue(value);
}

} // namespace

void AllowHeldValues(QSpinBox* box, QWidget* edit) {
    std::erase_if(Holders(), [](const Holder& h) { return h.alive.isNull(); });
    if (box != nullptr && edit != nullptr && Find(box) == nullptr) {
        Holders().push_back({box, box, edit, std::nullopt});
    }
}

void ForgetHeldValues(const QObject* box) {
    std::erase_if(Holders(), [box](const Holder& h) { return h.alive.data() == box; });
}

bool HoldValue(QSpinBox* box, int value) {
    Holder* h = Find(box);
    if (h == nullptr) {
        return false;
    }
    h->held = std::clamp(value, box->minimum(), box->maximum());
    // As a write of its text would: the box's own update costs a second paint in a flush.
    if (!h->edit.isNull()) {
        h->edit->update();
    }
    return true;
}

std::optional<int> HeldValue(const QSpinBox* box) {
    const Holder* h = Find(box);
    return h != nullptr ? h->held : std::nullopt;
}

void WriteHeldValue(QSpinBox* box) {
    if (Holder* h = Find(box)) {
        Write(*h);
    }
}

void WriteHeldValues(const QWidget* window) {
    for (Holder& h : Holders()) {
        if (!h.held || h.alive.isNull()) {
            continue;
        }
        if (window != nullptr ? h.box->window() == window : h.box->isVisible()) {
            Write(h);
        }
    }
}

} // namespace ovx::ui::detail
