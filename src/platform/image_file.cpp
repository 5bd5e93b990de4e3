#include "platform/image_file.h"

#include <QPixmap>
#include <QSaveFile>
#include <QWidget>

#include "platform/errors.h"
#include "platform/files.h"
#include "platform/panel.h"

namespace ovx::platform {

int SaveCtrlImage(int panel, int control, const char* file, int scale) {
    auto* w = static_cast<QWidget*>(CtrlWidget(panel, control));
    if (w == nullptr) {
        return PanelWidget(panel) == nullptr ? kUiInvalidPanel : kUiInvalidControl;
    }
    if ((scale != 1 && scale != 2) || file == nullptr) {
        return kUiInvalidArgument;
    }
    QPixmap picture(w->size() * scale);
    picture.setDevicePixelRatio(scale);
    picture.fill(Qt::white);
    w->render(&picture); // with its children: the paused picture and its cursor
    RemoveSaveLeftovers(file);
    QSaveFile out(QString::fromLocal8Bit(file));
    if (!out.open(QIODevice::WriteOnly)) {
        return kFileCannotOpen;
    }
    if (!picture.save(&out, "PNG") || !out.commit()) {
        return kFileWriteFailed;
    }
    return 0;
}

} // namespace ovx::platform
