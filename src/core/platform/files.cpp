#include "platform/files.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <random>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "platform/errors.h"
#include "platform/files_os.h"
#include "platform/path_text.h"
#include "platform/places.h"

namespace ovx::platform {

namespace {

constexpr int kTypeInt = 1;
constexpr int kTypeUInt = 7;
constexpr int kFileTypeText = 1;
constexpr int kPathCapacity = 260;

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
int ParseFields(std::string_view all, int dataType, std::size_t count,
                std::vector<std::int64_t>& fields) {
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
std::string FormatArray(const void* array, const ArrayShape& s, int fieldWidth) {
    const int perLine = s.fileLayout == 0 ? s.numGroups : s.PerGroup();
    std::string text;
    text.reserve(static_cast<std::size_t>(s.numElements) *
                 (static_cast<std::size_t>(fieldWidth) + 2));
    for (int t = 0; t < s.numElements; ++t) {
        const std::string number =
            std::to_string(ElementValue(array, s.dataType, s.ElementOfField(t)));
        text.append(
            static_cast<std::size_t>(std::max(fieldWidth - static_cast<int>(number.size()), 0)),
            ' ');
        text += number;
        text += (t + 1) % perLine == 0 ? '\n' : '\t';
    }
    return text;
}

// Reads a regular file of at most limit bytes, never more than limit + 1 bytes of it; its kind is
// judged on what was opened. Returns 0 or a FileError.
int ReadLimited(const char* file, long long limit, std::string& text) {
    int fd = -1;
    if (const int result = detail::OpenRegularFile(file, false, fd); result != 0) {
        return result; // a FIFO would block for ever, a device never end
    }
    const auto most = static_cast<std::size_t>(limit) + 1;
    const bool read = detail::ReadUpTo(fd, most, text);
    detail::CloseFile(fd);
    if (!read) {
        return kFileCannotOpen;
    }
    return text.size() > static_cast<std::size_t>(limit) ? kFileTooLarge : 0;
}

// Reads a regular file that may hold up to values values, never more than such a file can be
// long. Returns 0 or a FileError.
int ReadSmallText(const char* file, int values, std::string& text) {
    return ReadLimited(file, static_cast<long long>(values) * kMaxFieldBytes + kFileSlackBytes,
                       text);
}

// Copies text into a buffer of kPathCapacity; false (and an empty buffer) when it does not fit.
bool CopyPath(const std::string& text, char* buffer) {
    if (text.size() >= static_cast<std::size_t>(kPathCapacity)) {
        buffer[0] = '\0';
        return false;
    }
    std::memcpy(buffer, text.c_str(), text.size() + 1);
    return true;
}

std::string ProjectDir() {
    if (!ProjectDirOverride().empty()) {
        return ProjectDirOverride();
    }
    if (!ChosenProjectDir().empty()) {
        return ChosenProjectDir();
    }
    return detail::BinaryDir();
}

// The temporary name mixes upper- and lower-case letters; an operator's own copy beside the
// target ("TARpara.dat.backup", ".old001", ".BAK001") rarely does, and is kept.
bool IsLeftoverName(std::string_view name, std::string_view target) {
    if (name.size() != target.size() + 7 || name.substr(0, target.size()) != target ||
        name[target.size()] != '.') {
        return false;
    }
    const std::string_view tail = name.substr(target.size() + 1);
    const auto in = [&tail](char from, char to) {
        return std::any_of(tail.begin(), tail.end(), [=](char c) { return c >= from && c <= to; });
    };
    const bool alnum = std::all_of(tail.begin(), tail.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9');
    });
    return alnum && in('A', 'Z') && in('a', 'z');
}

} // namespace

void RemoveSaveLeftovers(const char* target) {
    if (target == nullptr || *target == '\0') {
        return;
    }
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::path path = fs::absolute(PathOf(target), ec);
    if (ec) {
        return;
    }
    const std::string name = TextOf(path.filename());
    for (fs::directory_iterator it(path.parent_path(), ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code kind;
        if (fs::is_regular_file(it->symlink_status(kind)) &&
            IsLeftoverName(TextOf(it->path().filename()), name)) {
            fs::remove(it->path(), kind);
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
    const std::string text = FormatArray(array, shape, fieldWidth);
    // The text goes to a temporary file beside the target and is renamed over it: a failed
    // write (a full disk) leaves the old file.
    RemoveSaveLeftovers(file); // a save killed at its rename left one
    return detail::ReplaceFile(file, text, true);
}

int FileToArray(const char* file, void* array, int dataType, int numElements, int numGroups,
                int arrayOrder, int fileLayout, int fileType) {
    const ArrayShape shape{dataType, numElements, numGroups, arrayOrder, fileLayout};
    if (file == nullptr || array == nullptr || !ShapeValid(shape) || fileType != kFileTypeText) {
        return kFileInvalidArgument;
    }
    std::string text;
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
    std::string text;
    if (const int result = ReadSmallText(file, maxValues, text); result != 0) {
        return result;
    }
    rows.clear();
    const std::string_view all(text);
    std::size_t lineStart = 0;
    while (lineStart < all.size()) {
        std::size_t lineEnd = all.find('\n', lineStart);
        if (lineEnd == std::string_view::npos) {
            lineEnd = all.size();
        }
        std::vector<std::int64_t> fields;
        const int result =
            ParseFields(all.substr(lineStart, lineEnd - lineStart), dataType, all.size(), fields);
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
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status followed = fs::status(PathOf(file), ec);
    if (!fs::exists(followed) && !fs::is_symlink(fs::symlink_status(PathOf(file), ec))) {
        return 0;
    }
    return fs::is_regular_file(followed) ? 0 : kFileNotRegular; // a dangling link too
}

int ReadWholeFile(const char* file, long long maxBytes, std::string& text) {
    if (file == nullptr || maxBytes < 0) {
        return kFileInvalidArgument;
    }
    std::string bytes;
    if (const int result = ReadLimited(file, maxBytes, bytes); result != 0) {
        return result;
    }
    text = std::move(bytes);
    return 0;
}

bool FileExists(const char* path) {
    std::error_code ec;
    return path != nullptr &&
           std::filesystem::is_regular_file(std::filesystem::status(PathOf(path), ec));
}

int ChooseProjectDir(const char* shipped, const char* folder) {
    if (shipped == nullptr || folder == nullptr) {
        return kFileInvalidArgument;
    }
    const std::string dir =
        detail::ChooseProgramDir(shipped, detail::BinaryDir(), detail::DocumentsDir(), folder);
    std::error_code ec;
    std::filesystem::create_directories(PathOf(dir), ec);
    if (std::filesystem::is_directory(PathOf(dir), ec)) {
        ChosenProjectDir() = dir;
        return 0;
    }
    ChosenProjectDir() = detail::HomeDir();
    return kFileWriteFailed;
}

int GetProjectDir(char* dir) {
    if (dir == nullptr) {
        return kFileInvalidArgument;
    }
    return CopyPath(detail::CleanPath(ProjectDir()), dir) ? 0 : kFileInvalidArgument;
}

int GetFullPathFromProject(const char* name, char* fullPath) {
    if (name == nullptr || fullPath == nullptr) {
        return kFileInvalidArgument;
    }
    std::string dir = detail::CleanPath(ProjectDir());
    if (dir.empty() || dir.back() != '/') {
        dir += '/';
    }
    return CopyPath(dir + name, fullPath) ? 0 : kFileInvalidArgument;
}

void SetProjectDirForTesting(const std::string& dir) {
    ProjectDirOverride() = dir;
}

} // namespace ovx::platform

namespace ovx::platform::detail {

// Six letters and digits with at least one upper- and one lower-case letter: the names that
// RemoveSaveLeftovers takes for a save's own.
std::string TemporarySuffix() {
    static constexpr std::string_view kChars =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    static std::mt19937 random{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, kChars.size() - 1);
    for (;;) {
        std::string s(6, ' ');
        std::generate(s.begin(), s.end(), [&] { return kChars[pick(random)]; });
        const bool upper =
            std::any_of(s.begin(), s.end(), [](char c) { return c >= 'A' && c <= 'Z'; });
        const bool lower =
            std::any_of(s.begin(), s.end(), [](char c) { return c >= 'a' && c <= 'z'; });
        if (upper && lower) {
            return s;
        }
    }
}

} // namespace ovx::platform::detail
