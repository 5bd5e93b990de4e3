#include "platform/files.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QSaveFile>
#include <QString>

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/files_os.h"
#include "platform/places.h"
#include "platform/repaint.h"

namespace ovx::platform {

namespace {

constexpr int kTypeInt = 1;
constexpr int kTypeUInt = 7;
constexpr int kFileTypeText = 1;
constexpr int kPathCapacity = 260;

FileSelectResponder& Responder() {
    static FileSelectResponder responder;
    return responder;
}

SaveQuestionHook& QuestionHook() {
    static SaveQuestionHook hook;
    return hook;
}

// True when the operator goes ahead with saving to path, which exists.
bool ConfirmSave(const std::string& path, QWidget* parent) {
    SaveQuestion q = QuestionHook() ? QuestionHook()(path) : SaveQuestion{};
    if (q.text.empty()) {
        const QString name = QFileInfo(QString::fromStdString(path)).fileName();
        q = {(name + QStringLiteral(" already exists.\nDo you want to replace it?")).toStdString(),
             "Yes", "No"};
    }
    QMessageBox box(QMessageBox::Question, parent != nullptr ? parent->windowTitle() : QString(),
                    QString::fromStdString(q.text), QMessageBox::NoButton, parent);
    QPushButton* accept = box.addButton(QString::fromStdString(q.accept), QMessageBox::AcceptRole);
    QPushButton* reject = box.addButton(QString::fromStdString(q.reject), QMessageBox::RejectRole);
    box.setDefaultButton(reject);
    box.exec();
    return box.clickedButton() == accept;
}

std::string& ProjectDirOverride() {
    static std::string dir;
    return dir;
}

std::string& ChosenProjectDir() {
    static std::string dir;
    return dir;
}

// Where the codes of one call place file field t in the array.
struct ArrayShape {
    int dataType;
    int numElements;
    int numGroups;
    int arrayOrder;
    int fileLayout;

    int PerGroup() const { return numElements / numGroups; }
    // Field t of the file is (group, index): columns run through the groups on every line.
    int ElementOfField(int t) const {
        const int group = fileLayout == 0 ? t % numGroups : t / PerGroup();
        const int index = fileLayout == 0 ? t / numGroups : t % PerGroup();
        return arrayOrder == 0 ? group * PerGroup() + index : index * numGroups + group;
    }
};

bool ShapeValid(const ArrayShape& s) {
    return (s.dataType == kTypeInt || s.dataType == kTypeUInt) && s.numElements > 0 &&
           s.numGroups > 0 && s.numElements % s.numGroups == 0 &&
           (s.arrayOrder == 0 || s.arrayOrder == 1) && (s.fileLayout == 0 || s.fileLayout == 1);
}

bool IsSeparator(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == ',' || c == '\f' || c == '\v';
}

// Parses one field as a value of the element type; false when it is no integer or out of range.
bool ParseField(std::string_view field, int dataType, std::int64_t& value) {
    if (!field.empty() && field.front() == '+') {
        field.remove_prefix(1);
    }
    const char* end = field.data() + field.size();
    const auto [ptr, ec] = std::from_chars(field.data(), end, value);
    if (field.empty() || ec != std::errc() || ptr != end) {
        return false;
    }
    if (dataType == kTypeUInt) {
        return value >= 0 && value <= std::numeric_limits<std::uint32_t>::max();
    }
    return value >= std::numeric_limits<std::int32_t>::min() &&
           value <= std::numeric_limits<std::int32_t>::max();
}

// Reads the first count fields of text into fields. Returns 0 or a FileError.
int ParseFields(const QByteArray& text, int dataType, std::size_t count,
                std::vector<std::int64_t>& fields) {
    const std::string_view all(text.constData(), static_cast<std::size_t>(text.size()));
    std::size_t pos = 0;
    while (fields.size() < count) {
        while (pos < all.size() && IsSeparator(all[pos])) {
            ++pos;
        }
        if (pos == all.size()) {
            return kFileTooFewValues;
        }
        std::size_t end = pos;
        while (end < all.size() && !IsSeparator(all[end])) {
            ++end;
        }
        std::int64_t value = 0;
        if (!ParseField(all.substr(pos, end - pos), dataType, value)) {
            return kFileBadValue;
        }
        fields.push_back(value);
        pos = end;
    }
    return 0;
}

std::int64_t ElementValue(const void* array, int dataType, int element) {
    if (dataType == kTypeUInt) {
        return static_cast<const std::uint32_t*>(array)[element];
    }
    return static_cast<const std::int32_t*>(array)[element];
}

void StoreElement(void* array, int dataType, int element, std::int64_t value) {
    if (dataType == kTypeUInt) {
        static_cast<std::uint32_t*>(array)[element] = static_cast<std::uint32_t>(value);
    } else {
        static_cast<std::int32_t*>(array)[element] = static_cast<std::int32_t>(value);
    }
}

// One line per index (layout 0) or per group (layout 1), fields right-aligned and never cut.
QByteArray FormatArray(const void* array, const ArrayShape& s, int fieldWidth) {
    const int perLine = s.fileLayout == 0 ? s.numGroups : s.PerGroup();
    QByteArray text;
    text.reserve(s.numElements * (fieldWidth + 2));
    for (int t = 0; t < s.numElements; ++t) {
        const QByteArray number = QByteArray::number(
            static_cast<qlonglong>(ElementValue(array, s.dataType, s.ElementOfField(t))));
        text += number.rightJustified(fieldWidth, ' ', false);
        text += (t + 1) % perLine == 0 ? '\n' : '\t';
    }
    return text;
}

// Reads a regular file of at most limit bytes, never more than limit + 1 bytes of it; its kind is
// judged on what was opened. Returns 0 or a FileError.
int ReadLimited(const char* file, qint64 limit, QByteArray& text) {
    int fd = -1;
    if (const int result = detail::OpenRegularFile(file, false, fd); result != 0) {
        return result; // a FIFO would block for ever, a device never end
    }
    QFile in;
    if (!in.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        detail::CloseFile(fd);
        return kFileCannotOpen;
    }
    text = in.read(limit + 1);
    return text.size() > limit ? kFileTooLarge : 0;
}

// Reads a regular file that may hold up to values values, never more than such a file can be
// long. Returns 0 or a FileError.
int ReadSmallText(const char* file, int values, QByteArray& text) {
    return ReadLimited(file, qint64{values} * kMaxFieldBytes + kFileSlackBytes, text);
}

// Copies text into a buffer of kPathCapacity; false (and an empty buffer) when it does not fit.
bool CopyPath(const QByteArray& text, char* buffer) {
    if (text.size() >= kPathCapacity) {
        buffer[0] = '\0';
        return false;
    }
    std::memcpy(buffer, text.constData(), static_cast<std::size_t>(text.size()));
    buffer[text.size()] = '\0';
    return true;
}

QString ProjectDir() {
    if (!ProjectDirOverride().empty()) {
        return QString::fromStdString(ProjectDirOverride());
    }
    if (!ChosenProjectDir().empty()) {
        return QString::fromLocal8Bit(ChosenProjectDir().c_str());
    }
    return QString::fromLocal8Bit(detail::BinaryDir().c_str());
}

// "*.dat" -> ".dat"; empty when the filter names no single extension.
QString FilterExtension(const QString& filter) {
    if (!filter.startsWith(QLatin1String("*.")) || filter.contains(QLatin1Char(' ')) ||
        filter.contains(QLatin1Char(';')) || filter.size() < 3) {
        return {};
    }
    return filter.mid(1);
}

QString ForceExtension(const QString& path, const QString& extension) {
    if (extension.isEmpty() || path.endsWith(extension, Qt::CaseInsensitive)) {
        return path;
    }
    return path + extension;
}

// Hides the dialog and paints what it covered at once: a blocking sequence (flash programming)
// may follow without processing events.
void RepaintUnder(QDialog& dialog) {
    dialog.hide();
    detail::RepaintWindowsNow();
}

int RunDialog(const FileSelectRequest& request, int restrictDir, int allowCancel, int allowMakeDir,
              std::string& chosen) {
    const bool save = request.buttonCode == 0;
    QFileDialog dialog(nullptr, QString::fromStdString(request.title),
                       QString::fromStdString(request.defaultDir));
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::ReadOnly, allowMakeDir == 0);
    dialog.setOption(QFileDialog::DontConfirmOverwrite, true); // asked below, in our words
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setLabelText(QFileDialog::Accept,
                        save ? QStringLiteral("Save") : QStringLiteral("Load"));
    dialog.setNameFilter(QString::fromStdString(request.filter));
    dialog.selectFile(QString::fromStdString(request.defaultName));
    if (restrictDir != 0) {
        const QString home = QString::fromStdString(request.defaultDir);
        QObject::connect(&dialog, &QFileDialog::directoryEntered, &dialog,
                         [&dialog, home](const QString& dir) {
                             if (QDir(dir) != QDir(home)) {
                                 dialog.setDirectory(home);
                             }
                         });
    }
    for (;;) {
        if (dialog.exec() != QDialog::Accepted) {
            if (allowCancel != 0) {
                return 0;
            }
            continue;
        }
        const QStringList files = dialog.selectedFiles();
        if (files.isEmpty()) {
            return 0;
        }
        chosen = files.front().toStdString();
        if (!save || !QFileInfo::exists(files.front()) || ConfirmSave(chosen, &dialog)) {
            RepaintUnder(dialog);
            return 1;
        }
    }
}

} // namespace

void RemoveSaveLeftovers(const char* target) {
    if (target == nullptr || *target == '\0') {
        return;
    }
    const QFileInfo info(QString::fromLocal8Bit(target));
    // The temporary name mixes upper- and lower-case letters; an operator's own copy beside the
    // target ("TARpara.dat.backup", ".old001", ".BAK001") rarely does, and is kept.
    const QRegularExpression leftover(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(info.fileName()) +
        QStringLiteral("\\.(?=[A-Za-z0-9]*[A-Z])(?=[A-Za-z0-9]*[a-z])[A-Za-z0-9]{6}")));
    QDir dir = info.absoluteDir();
    dir.setFilter(QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QFileInfo& entry : dir.entryInfoList()) {
        if (entry.isFile() && !entry.isSymLink() && leftover.match(entry.fileName()).hasMatch()) {
            QFile::remove(entry.filePath());
        }
    }
}

int ArrayToFile(const char* file, const void* array, int dataType, int numElements, int numGroups,
                int arrayOrder, int fileLayout, int colSep, int fieldWidth, int fileType,
                int fileAction) {
    const ArrayShape shape{dataType, numElements, numGroups, arrayOrder, fileLayout};
    if (file == nullptr || array == nullptr || !ShapeValid(shape) || colSep != 0 ||
        fieldWidth < 0 || fileType != kFileTypeText || fileAction != 0) {
        return kFileInvalidArgument;
    }
    if (const int kind = RegularFileOrNone(file); kind != 0) {
        return kind; // a device node or FIFO is never replaced by a regular file
    }
    const QByteArray text = FormatArray(array, shape, fieldWidth);
    // The text goes to a temporary file beside the target and is renamed over it on commit.
    // Unbuffered: a failed write (a full disk) is seen here and the old file stays.
    RemoveSaveLeftovers(file); // a save killed at its rename left one
    QSaveFile out(QString::fromLocal8Bit(file));
    out.setDirectWriteFallback(true);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) {
        return kFileCannotOpen;
    }
    if (out.write(text) != text.size() || out.error() != QFileDevice::NoError || !out.commit()) {
        out.cancelWriting();
        return kFileWriteFailed;
    }
    return 0;
}

int FileToArray(const char* file, void* array, int dataType, int numElements, int numGroups,
                int arrayOrder, int fileLayout, int fileType) {
    const ArrayShape shape{dataType, numElements, numGroups, arrayOrder, fileLayout};
    if (file == nullptr || array == nullptr || !ShapeValid(shape) || fileType != kFileTypeText) {
        return kFileInvalidArgument;
    }
    QByteArray text;
    if (const int result = ReadSmallText(file, numElements, text); result != 0) {
        return result;
    }
    // Parsed into a scratch list first: the caller's array changes only when all values are good.
    std::vector<std::int64_t> fields;
    const auto count = static_cast<std::size_t>(numElements);
    if (const int result = ParseFields(text, dataType, count, fields); result != 0) {
        return result;
    }
    for (int t = 0; t < numElements; ++t) {
        StoreElement(array, dataType, shape.ElementOfField(t), fields[static_cast<std::size_t>(t)]);
    }
    return 0;
}

int FileToRows(const char* file, int dataType, int maxValues,
               std::vector<std::vector<std::int64_t>>& rows) {
    if (file == nullptr || (dataType != kTypeInt && dataType != kTypeUInt) || maxValues <= 0) {
        return kFileInvalidArgument;
    }
    QByteArray text;
    if (const int result = ReadSmallText(file, maxValues, text); result != 0) {
        return result;
    }
    rows.clear();
    const std::string_view all(text.constData(), static_cast<std::size_t>(text.size()));
    std::size_t lineStart = 0;
    while (lineStart < all.size()) {
        std::size_t lineEnd = all.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) {
            lineEnd = all.size();
        }
        std::vector<std::int64_t> fields;
        const int result = ParseFields(
            QByteArray(all.data() + lineStart, static_cast<qsizetype>(lineEnd - lineStart)),
            dataType, all.size(), fields);
        if (result == kFileBadValue) {
            return result;
        }
        rows.push_back(std::move(fields));
        lineStart = lineEnd + 1;
    }
    while (!rows.empty() && rows.back().empty()) {
        rows.pop_back(); // blank lines at the end
    }
    return 0;
}

int RegularFileOrNone(const char* file) {
    if (file == nullptr) {
        return kFileInvalidArgument;
    }
    const QFileInfo info(QString::fromLocal8Bit(file));
    if (!info.exists() && !info.isSymLink()) {
        return 0;
    }
    return info.isFile() ? 0 : kFileNotRegular;
}

int ReadWholeFile(const char* file, long long maxBytes, std::string& text) {
    if (file == nullptr || maxBytes < 0) {
        return kFileInvalidArgument;
    }
    QByteArray bytes;
    if (const int result = ReadLimited(file, maxBytes, bytes); result != 0) {
        return result;
    }
    text.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return 0;
}

bool FileExists(const char* path) {
    return path != nullptr && QFileInfo(QString::fromLocal8Bit(path)).isFile();
}

int FileSelectPopup(const char* defaultDir, const char* defaultName, const char* filter,
                    const char* title, int buttonCode, int restrictDir, int restrictExt,
                    int allowCancel, int allowMakeDir, char* path) {
    if (path == nullptr || (buttonCode != 0 && buttonCode != 3)) {
        return kFileInvalidArgument;
    }
    const auto text = [](const char* s) { return std::string(s != nullptr ? s : ""); };
    const FileSelectRequest request{text(defaultDir), text(defaultName), text(filter), text(title),
                                    buttonCode};
    std::string chosen;
    const int result = Responder()
                           ? Responder()(request, chosen)
                           : RunDialog(request, restrictDir, allowCancel, allowMakeDir, chosen);
    if (result <= 0) {
        return result;
    }
    QString full = QString::fromStdString(chosen);
    if (restrictExt != 0) {
        full = ForceExtension(full, FilterExtension(QString::fromStdString(request.filter)));
    }
    return CopyPath(full.toLocal8Bit(), path) ? 1 : kFileInvalidArgument;
}

void SetSaveQuestion(SaveQuestionHook hook) {
    QuestionHook() = std::move(hook);
}

void SetFileSelectResponder(FileSelectResponder responder) {
    Responder() = std::move(responder);
}

int ChooseProjectDir(const char* shipped, const char* folder) {
    if (shipped == nullptr || folder == nullptr) {
        return kFileInvalidArgument;
    }
    const std::string dir =
        detail::ChooseProgramDir(shipped, detail::BinaryDir(), detail::DocumentsDir(), folder);
    if (QDir().mkpath(QString::fromLocal8Bit(dir.c_str()))) {
        ChosenProjectDir() = dir;
        return 0;
    }
    ChosenProjectDir() = QDir::homePath().toLocal8Bit().toStdString();
    return kFileWriteFailed;
}

int GetProjectDir(char* dir) {
    if (dir == nullptr) {
        return kFileInvalidArgument;
    }
    return CopyPath(QDir::cleanPath(ProjectDir()).toLocal8Bit(), dir) ? 0 : kFileInvalidArgument;
}

int GetFullPathFromProject(const char* name, char* fullPath) {
    if (name == nullptr || fullPath == nullptr) {
        return kFileInvalidArgument;
    }
    QString dir = QDir::cleanPath(ProjectDir());
    if (!dir.endsWith(QLatin1Char('/'))) {
        dir += QLatin1Char('/');
    }
    const QString full = dir + QString::fromLocal8Bit(name);
    return CopyPath(full.toLocal8Bit(), fullPath) ? 0 : kFileInvalidArgument;
}

void SetProjectDirForTesting(const std::string& dir) {
    ProjectDirOverride() = dir;
}

} // namespace ovx::platform
