// What an operator sees of a panel's layout: its visible controls, where they sit in the window,
// and which of them cover each other or reach past the window's edge.
#pragma once

#include <QRect>
#include <QWidget>

#include <string>
#include <vector>

namespace ovx::testing {

struct PlacedControl {
    QWidget* widget = nullptr;
    QRect rect; // in the window's coordinates
};

// The visible controls of window: buttons, rings, value controls, texts, labels, charts, LEDs,
// lists. A control's own parts (a spin box's text field) are not counted apart from it.
std::vector<PlacedControl> VisibleControls(QWidget* window);

// "a / b" for every two controls that overlap, "a / window" for one not wholly inside it.
std::vector<std::string> LayoutFaults(QWidget* window);

} // namespace ovx::testing
