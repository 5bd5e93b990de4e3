#include "ui/settings.h"

#include <QByteArray>
#include <QSettings>
#include <QWidget>

#include "platform/errors.h"
#include "ui/panel.h"

namespace ovx::ui {

namespace {

QSettings& Store() {
    static QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("ovextar"),
                              QStringLiteral("ovextar"));
    return settings;
}

} // namespace

std::string GetSetting(const char* key, const char* fallback) {
    return Store()
        .value(QString::fromLatin1(key), QString::fromUtf8(fallback))
        .toString()
        .toStdString();
}

void SetSetting(const char* key, const std::string& value) {
    Store().setValue(QString::fromLatin1(key), QString::fromStdString(value));
}

void SyncSettings() {
    Store().sync();
}

int SavePanelGeometry(int panel, const char* key) {
    auto* w = static_cast<QWidget*>(PanelWidget(panel));
    if (w == nullptr) {
        return platform::kUiInvalidPanel;
    }
    SetSetting(key, w->saveGeometry().toBase64().toStdString());
    return 0;
}

int RestorePanelGeometry(int panel, const char* key) {
    auto* w = static_cast<QWidget*>(PanelWidget(panel));
    if (w == nullptr) {
        return platform::kUiInvalidPanel;
    }
    const std::string saved = GetSetting(key);
    if (!saved.empty()) {
        w->restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(saved)));
    }
    return 0;
}

} // namespace ovx::ui
