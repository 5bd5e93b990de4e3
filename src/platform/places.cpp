#include "platform/places.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QString>

#include "build_info.h"

namespace ovx::platform::detail {

namespace {

QString Q(const std::string& s) {
    return QString::fromLocal8Bit(s.data(), static_cast<qsizetype>(s.size()));
}

std::string S(const QString& s) {
    return s.toLocal8Bit().toStdString();
}

} // namespace

std::string BinaryDir() {
    if (QCoreApplication::instance() != nullptr) {
        return S(QCoreApplication::applicationDirPath());
    }
    return S(QDir::currentPath());
}

std::string DocumentsDir() {
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    return S(docs.isEmpty() ? QDir::homePath() : docs);
}

std::vector<std::string> ShippedFileDirs(const std::string& binaryDir) {
    return {binaryDir, S(QDir::cleanPath(QDir(Q(binaryDir)).filePath(Q(kDataDirFromBinDir))))};
}

std::string FindShippedFile(const std::string& name, const std::vector<std::string>& dirs,
                            const std::string& workingDir) {
    for (const std::string& dir : dirs) {
        const QString path = QDir(Q(dir)).filePath(Q(name));
        if (QFileInfo(path).isFile()) {
            return S(path);
        }
    }
    return S(QDir(Q(workingDir)).filePath(Q(name)));
}

std::string ChooseProgramDir(const std::string& shippedName, const std::string& binaryDir,
                             const std::string& documentsDir, const std::string& folder) {
    if (QFileInfo(QDir(Q(binaryDir)).filePath(Q(shippedName))).isFile()) {
        return binaryDir;
    }
    return S(QDir::cleanPath(QDir(Q(documentsDir)).filePath(Q(folder))));
}

} // namespace ovx::platform::detail
