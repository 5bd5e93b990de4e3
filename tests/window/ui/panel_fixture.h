// Both panels of the real panel file, loaded offscreen, and typed access to their controls.
#pragma once

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QWidget>

#include <string>

#include "params/panels.h"
#include "ui/panel.h"

namespace ovx::ui::testing {

inline std::string RealPanelFile() {
    return QDir(QCoreApplication::applicationDirPath()).filePath("OVEXTAR1V12.uir").toStdString();
}

class RealPanels : public ::testing::Test {
  protected:
    void SetUp() override {
        main_ = LoadPanel(0, RealPanelFile().c_str(), params::PANEL);
        ASSERT_GT(main_, 0);
        popup_ = LoadPanel(0, RealPanelFile().c_str(), params::POPUP);
        ASSERT_GT(popup_, 0);
    }
    void TearDown() override {
        DiscardPanel(popup_);
        DiscardPanel(main_);
    }

    template <typename T> T* Ctrl(int panel, int control) const {
        return qobject_cast<T*>(static_cast<QWidget*>(CtrlWidget(panel, control)));
    }
    QWidget* Window(int panel) const { return static_cast<QWidget*>(PanelWidget(panel)); }
    int IntOf(int panel, int control) const {
        int v = -12345;
        EXPECT_EQ(GetCtrlVal(panel, control, &v), 0) << "control " << control;
        return v;
    }

    int main_ = 0;
    int popup_ = 0;
};

} // namespace ovx::ui::testing
