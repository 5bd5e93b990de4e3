// Inside the engine: reads a panel file and hands out one of its panels as a widget tree,
// with the custom controls (strip chart, graph, LED) built as their own classes.
#pragma once

#include <QString>
#include <QWidget>

#include <memory>

namespace ovx::ui::detail {

// Loads path and takes the child panel whose "resourceId" is resourceId, detached from the
// file's container. Returns 0 with the panel in out, or kUiPanelFileMissing,
// kUiPanelFileDamaged (not a panel file) or kUiNoSuchResource.
int LoadPanelWidget(const QString& path, int resourceId, std::unique_ptr<QWidget>& out);

} // namespace ovx::ui::detail
