// The main panel as a new operator first sees it: nothing selected or focused that they did not
// choose, the title a title.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QTest>
#include <QWidget>

#include "app/panel_handles.h"
#include "support/tool_fixture.h"
#include "ui/panel.h"

namespace ovx::app {
namespace {

QWidget* MainWindow() {
    return static_cast<QWidget*>(ui::PanelWidget(app::panelHandle));
}

QLabel* Title() {
    for (QLabel* label : MainWindow()->findChildren<QLabel*>()) {
        if (label->text() == QLatin1String("O-VEX-TAR-Zidoz V1.2 ")) {
            return label;
        }
    }
    return nullptr;
}

class FirstLook : public testing::PanelFixture {
  protected:
    void SetUp() override {
        PanelFixture::SetUp();
        ui::DisplayPanel(app::panelHandle);
        MainWindow()->activateWindow(); // as the desktop does with a new window
        ASSERT_TRUE(QTest::qWaitForWindowActive(MainWindow()));
    }
};

TEST_F(FirstLook, NothingIsFocusedOrSelectedAfterStartUp) {
    const QWidget* focus = QApplication::focusWidget();
    EXPECT_TRUE(focus == nullptr || focus == MainWindow())
        << "focus on " << focus->objectName().toStdString();
    QLabel* title = Title();
    ASSERT_NE(title, nullptr);
    EXPECT_FALSE(title->hasSelectedText());
    EXPECT_FALSE(title->hasFocus());
    EXPECT_EQ(title->textInteractionFlags() & Qt::TextSelectableByMouse, 0);
}

// Its coloured box is a plate with room around the text, not a highlight tight around it.
TEST_F(FirstLook, TitleTextHasRoomInsideItsColouredBox) {
    QLabel* title = Title();
    ASSERT_NE(title, nullptr);
    const QRect text = title->contentsRect();
    EXPECT_GE(text.left(), 8);
    EXPECT_GE(text.top(), 4);
    EXPECT_GE(title->width() - text.right(), 8);
    EXPECT_GE(title->height() - text.bottom(), 4);
}

} // namespace
} // namespace ovx::app
