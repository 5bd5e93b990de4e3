#include "ui/image_file.h"

#include <QPixmap>
#include <QSaveFile>
#include <QWidget>

#include "platform/errors.h"
#include "platform/files.h"
#include "ui/panel.h"

namespace ovx::ui {

int SaveCtrlImage(int panel, int control, const char* file, int scale) {
    auto* w = static_cast<QWidget*>(CtrlWidget(panel, control));
    if (w == nullptr) {
        return PanelWidget(panel) == nullptr ? platform::kUiInvalidPanel
                                             : platform::kUiInvalidControl;
    }
    if ((scale != 1 && scale != 2) || file == nullptr) {
        return platform::kUiInvalidArgument;
    }
    QPixmap picture(w->size() * scale);
    picture.setDevicePixelRatio(scale);
    picture.fill(Qt::white);
    w->render(&picture); // with its children: the paused picture and its cursor
    platform::RemoveSaveLeftovers(file);
    QSaveFile out(QString::fromLocal8Bit(file));
    if (!out.open(QIODevice::WriteOnly)) {
        return platform::kFileCannotOpen;
    }
    if (!picture.save(&out, "PNG") || !out.commit()) {
        return platform::kFileWriteFailed;
    }
    return 0;
}

} // namespace ovx::ui
