// The panel file beside the program, found by the window's panel loader.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "panel_fixture.h"
#include "platform/places.h"

namespace ovx::platform::detail {
namespace {

// The real panel file beside the test program is found by its bare name from anywhere, even
// where the working directory holds a damaged file of that name.
TEST(PanelLookup, BareNameIsFoundBesideTheProgramWhateverTheWorkingDirectory) {
    QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    QFile junk(elsewhere.filePath("OVEXTAR1V12.uir"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a panel file\n");
    junk.close();
    const QString saved = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(elsewhere.path()));
    const int handle = ui::LoadPanel(0, "OVEXTAR1V12.uir", params::PANEL);
    QDir::setCurrent(saved);
    EXPECT_GT(handle, 0);
    ui::DiscardPanel(handle);
}

} // namespace
} // namespace ovx::platform::detail
