#include "support/german_locale.h"

#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace ovx::testing {
namespace {

constexpr const char* kName = "de_DE.UTF-8";

struct Made {
    std::unique_ptr<QTemporaryDir> dir;
    std::string path, why;
};

Made MakeLocale() {
    Made made;
    made.dir = std::make_unique<QTemporaryDir>();
    const QString target = made.dir->filePath(kName);
    QProcess localedef;
    localedef.start("localedef", {"-i", "de_DE", "-f", "UTF-8", target});
    if (!localedef.waitForFinished(120000) || localedef.exitCode() != 0) {
        made.why = "localedef -i de_DE -f UTF-8 failed: " +
                   localedef.readAllStandardError().toStdString() +
                   localedef.errorString().toStdString();
        return made;
    }
    if (!std::filesystem::exists(target.toStdString() + "/LC_NUMERIC")) {
        made.why = "localedef made no LC_NUMERIC in " + target.toStdString();
        return made;
    }
    made.path = made.dir->path().toStdString();
    return made;
}

} // namespace

const std::string& GermanLocaleDir(std::string* why) {
    static const Made made = MakeLocale();
    if (why != nullptr) {
        *why = made.why;
    }
    return made.path;
}

Environment GermanLocaleEnvironment() {
    return {{"LOCPATH", GermanLocaleDir()}, {"LANG", kName}, {"LC_ALL", kName}};
}

ScopedGermanLocale::ScopedGermanLocale() {
    // glibc reads LOCPATH at every setlocale call.
    ::setenv("LOCPATH", GermanLocaleDir().c_str(), 1);
    std::setlocale(LC_ALL, kName);
}

ScopedGermanLocale::~ScopedGermanLocale() {
    std::setlocale(LC_ALL, "C");
    ::unsetenv("LOCPATH");
}

std::string ScopedGermanLocale::DecimalPoint() {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", 1.5);
    return std::string(1, text[1]);
}

} // namespace ovx::testing
